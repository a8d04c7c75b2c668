// Code page 437, the character set of the key ring and the screen font.
#pragma once

#include <cstdint>

// The code page 437 code of a Unicode code point, or -1 when the code page has no such
// character. Codes 0-31 and 127 map to themselves (control characters as typed: Enter is 13,
// Escape 27, Backspace 8, Tab 9).
int unicodeToCp437(std::uint32_t codePoint);

// The Unicode code point that code page 437 code `code` (0-255) shows as a glyph. Codes 1-31 and
// 127 are the familiar pictures (smileys, arrows, house); 0 is a blank.
std::uint32_t cp437ToUnicode(int code);
