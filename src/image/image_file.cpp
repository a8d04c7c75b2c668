// Bridges between image buffers and PNG/JPEG files, through FreeImage.
#include <cstdio>
#include <cstring>

#include "image/freeimage.h"
#include "image/image.h"
#include "image/replace_file.h"

namespace {

// FreeImage counts scan lines from the bottom; every bridge flips once so that row 0 of an
// image buffer is the top of the picture.
void copyRows(FIBITMAP* picture, Image* image) {
    for (std::uint32_t y = 0; y < image->height; ++y)
        std::memcpy(imageRow(image, y), FreeImage_GetScanLine(picture, int(y)),
                    std::size_t(image->width) * 4);
}

int writeImageFile(const Image* image, const std::string& name, int format) {
    if (!image) return 0;
    ensureFreeImage();
    FIBITMAP* bitmap = FreeImage_Allocate(int(image->width), int(image->height), 32, 0, 0, 0);
    if (!bitmap) return 0;
    for (std::uint32_t y = 0; y < image->height; ++y)
        std::memcpy(FreeImage_GetScanLine(bitmap, int(y)), imageRow(image, y),
                    std::size_t(image->width) * 4);
    unsigned colours = FreeImage_GetColorsUsed(bitmap);
    // JPEG takes no alpha, and both files are written from the same 24-bit picture.
    FIBITMAP* result = FreeImage_ConvertTo24Bits(bitmap);
    FreeImage_Unload(bitmap);
    if (!result) return 0;
    BITMAPINFOHEADER* header = FreeImage_GetInfoHeader(result);
    header->biClrUsed = colours;
    header->biClrImportant = colours;
    FreeImage_FlipVertical(result);
    int written = writeFreeImageFile(result, format, name.c_str());
    FreeImage_Unload(result);
    return written;
}

}  // namespace

Image* loadImageFile(const std::string& name) {
    ensureFreeImage();
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(name.c_str(), 0);
    if (format == FIF_UNKNOWN) return nullptr;
    FIBITMAP* source = FreeImage_Load(format, name.c_str(), 0);
    if (!source) return nullptr;
    FIBITMAP* picture = FreeImage_ConvertTo32Bits(source);
    FreeImage_Unload(source);
    if (!picture) return nullptr;
    FreeImage_FlipVertical(picture);
    Image* image = createImage(int(FreeImage_GetWidth(picture)), int(FreeImage_GetHeight(picture)),
                               kMagenta, 0);
    if (image) copyRows(picture, image);
    FreeImage_Unload(picture);
    return image;
}

int saveImageFile(const Image* image, const std::string& name, int format) {
    // Written beside the target and moved over it only once whole: a save that fails half-way
    // must not leave a broken file, nor an older picture that would be posted in its place.
    const std::string partial = name + ".part";
    int saved =
        writeImageFile(image, partial, format) && replaceFile(partial.c_str(), name.c_str());
    if (!saved) {
        std::remove(partial.c_str());
        std::remove(name.c_str());
    }
    return saved;
}
