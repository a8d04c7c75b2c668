#include "image/image.h"

#include <algorithm>
#include <new>

namespace {
constexpr std::align_val_t kRowAlignment{16};

// What image buffers share: the write count and what the screen layer above told of its mode.
// Touched only by the program's thread.
struct ImageState {
    std::uint64_t writes = 0;
    int modeDepth = 0;
};

ImageState& imageState() {
    // Never destroyed: the screen's exit handler ends its mode while static destructors run.
    static ImageState* state = new ImageState;
    return *state;
}
}  // namespace

std::uint64_t imageWriteCount() {
    return imageState().writes;
}
void noteImageWrite() {
    ++imageState().writes;
}

void setModeDepth(int bitsPerPixel) {
    imageState().modeDepth = bitsPerPixel;
}

Image* createImage(int width, int height, std::uint32_t fill, int depth) {
    if (imageState().modeDepth == 0 || width < 1 || height < 1) return nullptr;
    if (depth != 0 && depth != 32) return nullptr;  // every buffer is 32-bit, like the screen
    const std::uint64_t pitch = (std::uint64_t(width) * 4 + 15) / 16 * 16;
    const std::uint64_t bytes = sizeof(Image) + pitch * std::uint64_t(height);
    if (pitch > UINT32_MAX || bytes > SIZE_MAX / 2) return nullptr;
    void* block = ::operator new(std::size_t(bytes), kRowAlignment, std::nothrow);
    if (!block) return nullptr;
    noteImageWrite();
    Image* image = static_cast<Image*>(block);
    *image =
        Image{kImageType, 4, std::uint32_t(width), std::uint32_t(height), std::uint32_t(pitch), {}};
    std::uint32_t* pixels = imageRow(image, 0);
    std::fill(pixels, pixels + pitch / 4 * std::uint64_t(height), fill);
    return image;
}

void destroyImage(Image* image) {
    noteImageWrite();  // the next buffer may be given the same address
    if (image) ::operator delete(image, kRowAlignment);
}
