#include "image/picture_check.h"

#include <cstring>

namespace {

std::int64_t bigEndian32(const unsigned char* p) {
    return std::int64_t(p[0]) << 24 | std::int64_t(p[1]) << 16 | std::int64_t(p[2]) << 8 | p[3];
}

std::uint32_t littleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::int64_t littleEndian16(const unsigned char* p) {
    return std::int64_t(p[0]) | std::int64_t(p[1]) << 8;
}

// The signature, then the IHDR chunk (length 13), which must come first, with the width and the
// height as big-endian 32-bit numbers.
bool pngHeaderAllowed(const unsigned char* bytes, std::size_t size) {
    static const unsigned char kHead[16] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                            0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    if (size < 24 || std::memcmp(bytes, kHead, sizeof kHead) != 0) return false;
    return pictureSizeAllowed(bigEndian32(bytes + 16), bigEndian32(bytes + 20));
}

// "BM", the rest of the 14-byte file header, then the info header, which opens with its own
// size. The old OS/2 header (12 bytes) holds 16-bit sizes; every later one holds 32-bit signed
// sizes at the same place, where a negative height means rows stored top row first.
bool bmpHeaderAllowed(const unsigned char* bytes, std::size_t size) {
    constexpr std::size_t kInfo = 14;
    if (size < kInfo + 12 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    std::uint32_t infoSize = littleEndian32(bytes + kInfo);
    if (infoSize == 12)
        return pictureSizeAllowed(littleEndian16(bytes + kInfo + 4),
                                  littleEndian16(bytes + kInfo + 6));
    if (infoSize < 16 || size < kInfo + 16) return false;
    std::int64_t width = std::int32_t(littleEndian32(bytes + kInfo + 4));
    std::int64_t height = std::int32_t(littleEndian32(bytes + kInfo + 8));
    return pictureSizeAllowed(width, height < 0 ? -height : height);
}

}  // namespace

bool pictureSizeAllowed(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        return false;
    return width * height <= kMaxPicturePixels;
}

bool pictureHeaderAllowed(const unsigned char* bytes, std::size_t size, PictureFormat format) {
    if (!bytes) return false;
    return format == PictureFormat::Png ? pngHeaderAllowed(bytes, size)
                                        : bmpHeaderAllowed(bytes, size);
}
