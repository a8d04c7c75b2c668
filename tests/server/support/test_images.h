// Image bytes for the service's tests, made in memory. The service never decodes an image, it
// tells the kinds apart by their first bytes alone, so a right head and seeded noise are all a
// test needs; the noise makes every seed's bytes unique.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The PNG signature and IHDR chunk head, then about width * height * 3 bytes of noise.
std::string makePng(int width, int height, std::uint32_t seed);
std::string makePngOfSize(std::size_t size, std::uint32_t seed);
// A JPEG start (SOI, APP0) and noise, `size` bytes in all.
std::string makeJpegShaped(std::size_t size, std::uint32_t seed);
