// The capture cycle: from a new clipboard image to the editor, the upload and back to waiting.
#pragma once

#include <cstdint>

#include "app/app.h"
#include "editor/view.h"
#include "image/image.h"

// Opens the editor window over the work area, loads the capture file and paints the backdrop
// with the capture placed. Returns the capture, or nullptr when the window cannot be opened or
// the file cannot be read back.
Image* openEditorWindow(const Program& program, View& view);

// Runs one capture cycle for the new clipboard image `handle`. Returns true when the program
// must quit.
bool runCaptureCycle(Program& program, std::uintptr_t handle);
