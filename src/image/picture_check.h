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

// Wider or taller than any desktop of several monitors side by side, and the largest texture
// common graphics hardware takes: no screenshot comes near it.
constexpr std::int64_t kMaxPictureSide = 16384;
// 128 megapixels, more than three 4K monitors side by side by a wide margin. Its image buffer is
// 512 MB, and decoding holds the library's copies beside it: about what a laptop can spare.
constexpr std::int64_t kMaxPicturePixels = 128'000'000;

// 1 when a picture of width x height pixels may be decoded: each side from 1 to kMaxPictureSide
// and no more than kMaxPicturePixels in all.
int pictureSizeAllowed(std::int64_t width, std::int64_t height);

// 1 when `bytes` start with `format`'s signature and a header that declares an allowed size.
int pictureHeaderAllowed(const unsigned char* bytes, std::size_t size, PictureFormat format);
