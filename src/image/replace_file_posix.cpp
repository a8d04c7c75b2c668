// POSIX rename replaces the target in one step.
#include <cstdio>

#include "image/replace_file.h"

bool replaceFile(const char* source, const char* target) {
    return std::rename(source, target) == 0;
}
