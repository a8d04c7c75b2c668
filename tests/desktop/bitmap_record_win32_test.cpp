// The size check on the clipboard bitmap's description, before any pixel memory is taken.
#include <gtest/gtest.h>

#include "desktop/bitmap_record_win32.h"

TEST(BitmapRecord, OnlyScreenshotSizesAndReadableDepthsAreRead) {
    const struct {
        LONG width, height;
        WORD bitsPerPixel;
        int readable;
    } cases[] = {{1920, 1080, 32, 1},  {1, 1, 1, 1},          {16000, 8000, 8, 1},
                 {16384, 7812, 24, 1}, {20000, 20000, 32, 0}, {16385, 1, 32, 0},
                 {16384, 8192, 32, 0}, {0, 1080, 32, 0},      {1920, 0, 32, 0},
                 {-1920, 1080, 32, 0}, {1920, -1080, 32, 0},  {1920, 1080, 0, 0},
                 {1920, 1080, 7, 0}};
    for (const auto& c : cases) {
        BITMAP record{0, c.width, c.height, 0, 1, c.bitsPerPixel, nullptr};
        EXPECT_EQ(c.readable, bitmapRecordReadable(record))
            << c.width << "x" << c.height << "x" << c.bitsPerPixel;
    }
}
