// Bridges between image buffers and PNG/JPEG files, through FreeImage.
#include <cstdio>
#include <cstring>
#include <thread>

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

// The buffer as a 24-bit FreeImage picture, bottom row first as FreeImage keeps them. JPEG takes
// no alpha, and both capture files are written from the same 24-bit picture.
FIBITMAP* pictureOfImage(const Image* image) {
    if (!image) return nullptr;
    ensureFreeImage();
    FIBITMAP* picture = FreeImage_Allocate(int(image->width), int(image->height), 24, 0, 0, 0);
    if (!picture) return nullptr;
    const std::uint32_t height = image->height;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* from = imageRow(image, y);
        BYTE* to = FreeImage_GetScanLine(picture, int(height - 1 - y));
        for (std::uint32_t x = 0; x < image->width; ++x, to += 3) {
            to[FI_RGBA_RED] = BYTE(from[x] >> 16);
            to[FI_RGBA_GREEN] = BYTE(from[x] >> 8);
            to[FI_RGBA_BLUE] = BYTE(from[x]);
        }
    }
    return picture;
}

// Written beside the target and moved over it only once whole: a save that fails half-way must
// not leave a broken file, nor an older picture that would be posted in its place.
bool savePictureFile(FIBITMAP* picture, const char* name, int format) {
    const std::string partial = std::string(name) + ".part";
    bool saved = picture && writeFreeImageFile(picture, format, partial.c_str()) &&
                 replaceFile(partial.c_str(), name);
    if (!saved) {
        std::remove(partial.c_str());
        std::remove(name);
    }
    return saved;
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

bool saveImageFile(const Image* image, const std::string& name, int format) {
    FIBITMAP* picture = pictureOfImage(image);
    bool saved = savePictureFile(picture, name.c_str(), format);
    if (picture) FreeImage_Unload(picture);
    return saved;
}

std::vector<const char*> saveImageFiles(const Image* image, std::vector<ImageFileSave> saves) {
    FIBITMAP* picture = pictureOfImage(image);
    // Not vector<bool>: its bits share words, and each thread writes a slot of its own.
    std::vector<char> saved(saves.size(), 0);
    {
        // One encoder per file, all reading the one picture; each thread writes only its own slot.
        std::vector<std::thread> encoders;
        for (std::size_t i = 1; i < saves.size(); ++i)
            encoders.emplace_back(
                [&, i] { saved[i] = savePictureFile(picture, saves[i].name, saves[i].format); });
        if (!saves.empty()) saved[0] = savePictureFile(picture, saves[0].name, saves[0].format);
        for (std::thread& encoder : encoders) encoder.join();
    }
    if (picture) FreeImage_Unload(picture);
    std::vector<const char*> unsaved;
    for (std::size_t i = 0; i < saves.size(); ++i)
        if (!saved[i]) unsaved.push_back(saves[i].name);
    return unsaved;
}
