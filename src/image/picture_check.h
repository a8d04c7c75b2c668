// Clipboard pictures come from any program on the desktop, so they are looked at before a decoder
// sees them: the bytes must start with the signature of the format that the clipboard named, and
// the size their header declares must be one that a screenshot can have. Both checks read a few
// header bytes and allocate nothing, so a picture that declares a huge size costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>

// The formats taken from the clipboard, each named by the clipboard itself (the target image/png
// or image/bmp); the bytes never get to choose a decoder.
enum class PictureFormat { Png, Bmp };

// No desktop is wider or taller: eight 4K monitors in a row, and the largest texture common
// graphics hardware takes.
constexpr std::int64_t kMaxPictureSide = 32768;
// 64 megapixels: five 4K monitors side by side (19,200 x 2,160, 41.5 megapixels) with room to
// spare. The capture holds two copies of it (the original for REVERT and the one being edited),
// 7 bytes per pixel together, so the largest one stays within what a laptop can spare.
constexpr std::int64_t kMaxPicturePixels = 64'000'000;

// True when a picture of width x height pixels may be decoded: each side from 1 to kMaxPictureSide
// and no more than kMaxPicturePixels in all.
bool pictureSizeAllowed(std::int64_t width, std::int64_t height);

// True when `bytes` start with `format`'s signature and a header that declares an allowed size.
bool pictureHeaderAllowed(const unsigned char* bytes, std::size_t size, PictureFormat format);
