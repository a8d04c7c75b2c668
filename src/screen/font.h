// The screen's 8 x 8 font: one glyph for each of the 256 code page 437 codes.
#pragma once

#include <cstdint>

// Row r (0 = top) of the glyph for `code`; bit 7 is the leftmost pixel.
std::uint8_t glyphRow(unsigned char code, int r);
