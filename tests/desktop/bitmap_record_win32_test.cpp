// The size check on the clipboard bitmap's description, before any pixel memory is taken.
#include <gtest/gtest.h>

#include "desktop/bitmap_record_win32.h"

TEST(BitmapRecord, OnlyScreenshotSizesAndReadableDepthsAreRead) {
    const struct {
        LONG width, height;
        WORD bitsPerPixel;
        bool readable;
    } cases[] = {{1920, 1080, 32, 1}, {1, 1, 1, 1},         {19200, 2160, 16, 1},
                 {8000, 8000, 24, 1}, {8000, 8001, 8, 0},   {32768, 1953, 32, 1},
                 {32769, 1, 32, 0},   {1, 32769, 4, 0},     {0, 1080, 32, 0},
                 {1920, 0, 32, 0},    {-1920, 1080, 32, 0}, {1920, -1080, 32, 0},
                 {1920, 1080, 0, 0},  {1920, 1080, 7, 0}};
    for (const auto& c : cases) {
        BITMAP record{0, c.width, c.height, 0, 1, c.bitsPerPixel, nullptr};
        EXPECT_EQ(c.readable, bitmapRecordReadable(record))
            << c.width << "x" << c.height << "x" << c.bitsPerPixel;
    }
}
