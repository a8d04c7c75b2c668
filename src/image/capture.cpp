#include "image/capture.h"

#include <cstdio>
#include <cstring>

#include "image/background.h"
#include "image/freeimage.h"

void PictureRelease::operator()(FIBITMAP* picture) const {
    FreeImage_Unload(picture);
}

namespace {

// FreeImage keeps a 24-bit picture bottom row first, each pixel as B, G, R bytes.
void copyPictureRows(const FIBITMAP* picture, Image* image) {
    FIBITMAP* source = const_cast<FIBITMAP*>(picture);  // FreeImage takes no const bitmaps
    const std::uint32_t height = image->height;
    for (std::uint32_t y = 0; y < height; ++y) {
        const BYTE* from = FreeImage_GetScanLine(source, int(height - 1 - y));
        std::uint32_t* to = imageRow(image, y);
        for (std::uint32_t x = 0; x < image->width; ++x, from += 3)
            to[x] = 0xFF000000u | std::uint32_t(from[FI_RGBA_RED]) << 16 |
                    std::uint32_t(from[FI_RGBA_GREEN]) << 8 | from[FI_RGBA_BLUE];
    }
}

bool sameSize(const FIBITMAP* picture, const Image* image) {
    FIBITMAP* p = const_cast<FIBITMAP*>(picture);
    return image && FreeImage_GetWidth(p) == image->width &&
           FreeImage_GetHeight(p) == image->height;
}

}  // namespace

Image* imageFromPicture(const FIBITMAP* picture) {
    if (!picture) return nullptr;
    FIBITMAP* p = const_cast<FIBITMAP*>(picture);
    if (FreeImage_GetBPP(p) != 24) return nullptr;
    Image* image = createImage(int(FreeImage_GetWidth(p)), int(FreeImage_GetHeight(p)), kMagenta);
    if (image) copyPictureRows(picture, image);
    return image;
}

Capture::Capture(Picture original) : original_(std::move(original)) {
    if (!original_) return;
    ensureFreeImage();  // before a second thread may ask for it
    FIBITMAP* picture = original_.get();
    // The original is only read from here on, by the worker and by REVERT alike.
    writer_ = std::thread([this, picture] {
        // The editor is opening meanwhile; its first frame is what the user waits for.
        lowerThreadPriority();
        written_ = writeFreeImageFile(picture, FIF_PNG, kCapturePng);
        // A write that broke off must not pass for the capture.
        if (!written_) std::remove(kCapturePng);
    });
}

Capture::Capture(Image* working) : working_(working) {}

Capture::~Capture() {
    release();
}

bool Capture::makeWorkingPicture() {
    Image* made = imageFromPicture(original_.get());
    if (!made) return false;
    replacePicture(made);
    return true;
}

void Capture::replacePicture(Image* picture) {
    if (picture == working_) return;
    if (saves_.valid()) saves_.wait();  // the saves read the buffer it lets go
    destroyImage(working_);
    working_ = picture;
}

bool Capture::revert() {
    if (!original_) return false;
    // The same size (nothing cropped): copy over the working picture, which needs no memory and
    // cannot fail. Otherwise the copy is made before the edited picture is let go.
    if (sameSize(original_.get(), working_)) {
        copyPictureRows(original_.get(), working_);
        return true;
    }
    return makeWorkingPicture();
}

bool Capture::finishWrite() {
    if (writer_.joinable()) writer_.join();
    return written_;
}

void Capture::startSaves() {
    if (saves_.valid()) return;
    finishWrite();
    // The original is of no use once the editor is done; letting it go first keeps the peak of a
    // large capture down while the files are encoded.
    original_.reset();
    saves_ = std::async(std::launch::async, [picture = working_] {
        return saveImageFiles(picture, {{kCapturePng, kFormatPng}, {kCaptureJpeg, kFormatJpeg}});
    });
}

std::vector<const char*> Capture::saveFiles() {
    startSaves();
    return saves_.get();
}

void Capture::settle() {
    finishWrite();
    if (saves_.valid()) saves_.wait();
}

void Capture::release() {
    settle();
    original_.reset();
    destroyImage(working_);
    working_ = nullptr;
}

void Capture::removeFiles() {
    settle();
    std::remove(kCapturePng);
    std::remove(kCaptureJpeg);
}
