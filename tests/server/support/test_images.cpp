#include "test_images.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian32(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value >> 24);
    out += static_cast<char>(value >> 16);
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

void putChunk(std::string& png, const char* type, const std::string& data) {
    putBigEndian32(png, static_cast<std::uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    png += typed;
    putBigEndian32(png, crc32(reinterpret_cast<const unsigned char*>(typed.data()), typed.size()));
}

// zlib stream of stored (uncompressed) deflate blocks.
std::string zlibStored(const std::string& raw) {
    std::string out = "\x78\x01";
    std::size_t offset = 0;
    do {
        std::size_t length = std::min<std::size_t>(65535, raw.size() - offset);
        bool last = offset + length == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(~length & 0xFF);
        out += static_cast<char>((~length >> 8) & 0xFF);
        out.append(raw, offset, length);
        offset += length;
    } while (offset < raw.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian32(out, b << 16 | a);
    return out;
}

// xorshift32: deterministic noise, different for every seed.
struct Noise {
    explicit Noise(std::uint32_t seed) : state(seed * 2654435761u + 1) {}
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::uint32_t state;
};

}  // namespace

std::string makePng(int width, int height, std::uint32_t seed) {
    Noise noise(seed);
    std::string raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < width * 3; ++x) raw += static_cast<char>(noise.next() & 0xFF);
    }
    std::string header;
    putBigEndian32(header, static_cast<std::uint32_t>(width));
    putBigEndian32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, adaptive, none

    std::string png = "\x89PNG\r\n\x1A\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlibStored(raw));
    putChunk(png, "IEND", "");
    return png;
}

std::string makePngOfSize(std::size_t approximateSize, std::uint32_t seed) {
    int side = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(approximateSize) / 3)));
    return makePng(side, side, seed);
}

std::string makeJpegShaped(std::size_t size, std::uint32_t seed) {
    static const unsigned char kHead[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',
                                          'F',  'I',  'F',  0x00, 0x01, 0x01, 0x00,
                                          0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    std::string jpeg(reinterpret_cast<const char*>(kHead), sizeof kHead);
    Noise noise(seed);
    while (jpeg.size() + 2 < std::max<std::size_t>(size, 32)) {
        jpeg += static_cast<char>(noise.next() % 0xFF);  // never 0xFF: no stray markers
    }
    jpeg += "\xFF\xD9";
    return jpeg;
}
