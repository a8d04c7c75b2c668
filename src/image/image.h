// image/ is the bottom of the program: image buffers and their PNG and JPEG files. It uses
// nothing else of the program.
//
// Image buffers: one block holding a 32-byte header and then the pixel rows.
//
// Rows are top row first; row y starts pitch * y bytes after the header. pitch is width * 4
// rounded up to a multiple of 16 and the header sits on a 16-byte boundary, so every row does
// too. Pixels are 0xAARRGGBB stored little-endian (B, G, R, A), as in the screen buffer; the
// bytes between width * 4 and the pitch are padding that nothing shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t kImageType = 7;
constexpr std::uint32_t kMagenta = 0xFFFF00FF;  // fill of every new image buffer

struct Image {
    std::uint32_t type;  // always kImageType
    std::int32_t bytesPerPixel;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t pitch;
    std::uint8_t reserved[12];
};
static_assert(sizeof(Image) == 32, "the header is 32 bytes so rows stay 16-byte aligned");

// Counts the occasions on which any image buffer may have been written: creation, release and
// every mutable row access. Whoever keeps what a buffer showed (the screen, which skips putting an
// unchanged image again) compares two readings to know that nothing has written it since.
std::uint64_t imageWriteCount();
void noteImageWrite();

// The depth in bits per pixel that depth 0 stands for: the screen mode's. The screen layer sets it
// with every mode it sets or ends; 0, as before the first mode, means that there is no mode.
void setModeDepth(int bitsPerPixel);

inline std::uint32_t* imageRow(Image* image, std::uint32_t y) {
    noteImageWrite();
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(image + 1) +
                                            std::size_t(image->pitch) * y);
}
inline const std::uint32_t* imageRow(const Image* image, std::uint32_t y) {
    return reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(image + 1) +
                                                  std::size_t(image->pitch) * y);
}

// A new buffer filled with `fill` (padding included), or nullptr when no screen mode is set,
// width or height is below 1, or memory cannot be had. depth 0 means the screen's (32 bits).
Image* createImage(int width, int height, std::uint32_t fill, int depth = 0);
void destroyImage(Image* image);

// FreeImage format ids.
constexpr int kFormatJpeg = 2;  // FIF_JPEG
constexpr int kFormatPng = 13;  // FIF_PNG

// Any file FreeImage can decode (recognised by content, not name) as a new 32-bit buffer with
// alpha 0xFF where the picture has none, or nullptr.
Image* loadImageFile(const std::string& name);

// Writes the buffer as a 24-bit PNG or JPEG with FreeImage's default settings. True when
// the file is written whole; on failure (no buffer, disk full, a file in the way) false, and it
// leaves no file of that name, so that no older picture can pass for this one.
bool saveImageFile(const Image* image, const std::string& name, int format);

// A file to write and its format.
struct ImageFileSave {
    const char* name;
    int format;
};

// Writes the buffer to every file of `saves` at the same time, one thread each, each as
// saveImageFile would. Returns the names of the files that could not be written, in order.
std::vector<const char*> saveImageFiles(const Image* image, std::vector<ImageFileSave> saves);
