// FreeImage.h as installed for the static Windows build.
//
// FreeImage's header declares its functions as DLL imports unless FREEIMAGE_LIB is defined, and
// this prefix holds a static library with no DLL behind it. Defining the macro here, where the
// header is found, spares every program that links the library from having to know.
#ifndef FREEIMAGE_LIB
#define FREEIMAGE_LIB
#endif
#include "freeimage/FreeImage.h"
