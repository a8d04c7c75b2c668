// Drawing on the screen buffer (target nullptr) or on an image buffer.
//
// Coordinates are floats rounded to the nearest pixel, halves away from zero. Every operation
// clips to its target and never writes outside it; on the screen it takes the screen lock for its
// own duration and marks only the rows it touched.
#pragma once

#include <cstdint>
#include <string>

#include "image/image.h"

enum DrawKind { kLine = 0, kBoxOutline = 1, kFilledBox = 2 };
enum CoordMode { kAbsolute = 0, kRelative = 1 };  // kRelative: the second corner is an offset
constexpr std::uint16_t kSolid = 0xFFFF;

// Bit 15 - (k mod 16) of `style` decides whether the k-th pixel of a styled run is drawn.
void drawLine(Image* target, float x1, float y1, float x2, float y2, std::uint32_t colour, int kind,
              std::uint16_t style, int coordMode);

// Copies `source` (or the rectangle x1,y1 - x2,y2 of it, corners included, clamped to the
// source) with its top-left pixel at (x, y), exactly, alpha included.
void putImage(Image* target, float x, float y, const Image* source);
void putImage(Image* target, float x, float y, const Image* source, float x1, float y1, float x2,
              float y2, int coordMode);

// The set pixels of each glyph in `colour`; the rest of each cell shows what was there.
void drawText(Image* target, float x, float y, const std::string& text, std::uint32_t colour);

// The text console: 8 x 8 cells on the screen, rows and columns counted from 1.
void locateText(int row, int column);
void printText(const std::string& text, bool newline = false);
void printNewline();
void setTextColour(std::uint32_t foreground);
void setTextColour(std::uint32_t foreground, std::uint32_t background);
void textCursor(int* row, int* column);
