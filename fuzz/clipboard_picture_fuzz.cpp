// The clipboard picture decoder: any bytes, under each format a clipboard target can name. What
// the decoder lets through must be a picture within the size limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "image/clipboard_picture.h"
#include "image/freeimage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (PictureFormat format : {PictureFormat::Png, PictureFormat::Bmp}) {
        FIBITMAP* picture = decodeClipboardPicture(data, size, format);
        if (!picture) continue;
        if (FreeImage_GetBPP(picture) != 24 ||
            !pictureSizeAllowed(FreeImage_GetWidth(picture), FreeImage_GetHeight(picture)))
            std::abort();
        FreeImage_Unload(picture);
    }
    return 0;
}
