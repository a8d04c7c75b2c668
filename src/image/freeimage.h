// FreeImage, included the same way everywhere: on Windows <windows.h> must come first so the
// library's own stand-in Windows types stay out of the way, and the static library must be
// initialised before its first use.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <FreeImage.h>

// Initialises the library once per process (a no-op where it is a shared library that
// initialises itself); safe to call before every use.
void ensureFreeImage();

// Encodes `picture` in `format` and writes it as the file `name`, checking every step; true when
// the whole file was written. FreeImage_Save does not notice a write that fails half-way (a full
// disk leaves a cut-off file and a success result), so nothing writes pictures through it.
bool writeFreeImageFile(FIBITMAP* picture, int format, const char* name);
