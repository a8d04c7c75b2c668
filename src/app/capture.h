// The capture cycle: from a new clipboard image to the editor, the upload and back to waiting.
#pragma once

#include <cstdint>

#include "app/app.h"
#include "editor/view.h"
#include "image/capture.h"

// Opens the editor window over the work area, makes the capture's working picture from its
// original and paints the backdrop with the picture placed. False when the window cannot be
// opened or there is no memory for the picture.
bool openEditorWindow(const Program& program, Capture& capture, View& view);

// Runs one capture cycle for the new clipboard image `handle`. Returns true when the program
// must quit.
bool runCaptureCycle(Program& program, std::uintptr_t handle);
