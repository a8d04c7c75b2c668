// The size check on the clipboard bitmap's description, before any pixel memory is taken.
#include <gtest/gtest.h>

#include <tuple>

#include "desktop/bitmap_record_win32.h"

TEST(BitmapRecord, OnlyScreenshotSizesAndReadableDepthsAreRead) {
    for (auto [width, height, bitsPerPixel, readable] :
         {std::tuple<LONG, LONG, WORD, int>{1920, 1080, 32, 1},
          {1, 1, 1, 1},
          {16000, 8000, 8, 1},
          {16384, 7812, 24, 1},
          {20000, 20000, 32, 0},
          {16385, 1, 32, 0},
          {16384, 8192, 32, 0},
          {0, 1080, 32, 0},
          {1920, 0, 32, 0},
          {-1920, 1080, 32, 0},
          {1920, -1080, 32, 0},
          {1920, 1080, 0, 0},
          {1920, 1080, 7, 0}}) {
        BITMAP record{0, width, height, 0, 1, bitsPerPixel, nullptr};
        EXPECT_EQ(readable, bitmapRecordReadable(record))
            << width << "x" << height << "x" << bitsPerPixel;
    }
}
