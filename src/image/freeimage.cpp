#include "image/freeimage.h"

#include <cstdio>

void ensureFreeImage() {
#ifdef FREEIMAGE_LIB
    // A static FreeImage registers its plugins only when asked to.
    static const bool initialised = [] {
        FreeImage_Initialise(FALSE);
        return true;
    }();
    (void)initialised;
#endif
}

namespace {

bool writeWholeFile(const char* name, const BYTE* data, DWORD size) {
    std::FILE* file = std::fopen(name, "wb");
    if (!file) return false;
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

bool writeFreeImageFile(FIBITMAP* picture, int format, const char* name) {
    FIMEMORY* memory = FreeImage_OpenMemory(nullptr, 0);
    if (!memory) return false;
    BYTE* data = nullptr;
    DWORD size = 0;
    bool written = FreeImage_SaveToMemory(FREE_IMAGE_FORMAT(format), picture, memory, 0) &&
                   FreeImage_AcquireMemory(memory, &data, &size) &&
                   writeWholeFile(name, data, size);
    FreeImage_CloseMemory(memory);
    return written;
}
