#include "test_images.h"

#include <random>

namespace {

std::string withNoise(std::string head, std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    while (head.size() < size) head += static_cast<char>(random() & 0xFF);
    return head;
}

}  // namespace

std::string makePngOfSize(std::size_t size, std::uint32_t seed) {
    return withNoise(std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), size, seed);
}

std::string makePng(int width, int height, std::uint32_t seed) {
    return makePngOfSize(16 + static_cast<std::size_t>(width * height * 3), seed);
}

std::string makeJpegShaped(std::size_t size, std::uint32_t seed) {
    return withNoise(std::string("\xff\xd8\xff\xe0\0\x10JFIF", 10), size, seed);
}
