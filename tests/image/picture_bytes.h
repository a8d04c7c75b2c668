// Picture files made in memory for tests: `format` as FreeImage writes it, `bpp` bits per pixel,
// filled with noise (which does not compress, so a large one stays large).
#pragma once

#include <random>
#include <vector>

#include "image/freeimage.h"

inline std::vector<unsigned char> pictureBytes(FREE_IMAGE_FORMAT format, int width, int height,
                                               int bpp = 24) {
    ensureFreeImage();
    FIBITMAP* picture = FreeImage_Allocate(width, height, bpp);
    std::mt19937 random(unsigned(width + height));
    for (unsigned i = 0; i < FreeImage_GetPitch(picture) * unsigned(height); ++i)
        FreeImage_GetBits(picture)[i] = BYTE(random());
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(format, picture, memory, 0);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    std::vector<unsigned char> bytes(data, data + size);
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(picture);
    return bytes;
}
