// The C library's rename refuses an existing target on Windows; MoveFileExA replaces it.
#include <windows.h>

#include "image/replace_file.h"

bool replaceFile(const char* source, const char* target) {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) != 0;
}
