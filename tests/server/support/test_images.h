// Image files for the service's tests, made in memory so the suite needs no sample files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A valid PNG (8-bit RGB, stored deflate blocks) of noise from `seed`, so that no two seeds
// give the same bytes. About width * height * 3 bytes long.
std::string makePng(int width, int height, std::uint32_t seed);

// A PNG of roughly `approximateSize` bytes.
std::string makePngOfSize(std::size_t approximateSize, std::uint32_t seed);

// JPEG-shaped bytes of exactly `size` bytes (at least 32): SOI, a JFIF APP0 segment, filler
// without marker bytes, EOI. The service never decodes an image, it only tells the two kinds
// apart by their first bytes, so this is all a JPEG test needs.
std::string makeJpegShaped(std::size_t size, std::uint32_t seed);
