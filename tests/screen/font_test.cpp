// The glyph shapes are the font's own choice; what the program relies on is that spaces draw
// nothing, every other code draws something of its own and nothing lies outside the 8 x 8 cell.
#include "screen/font.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <set>

TEST(Font, BlanksAreEmptyAndEveryOtherGlyphIsDrawnAndDistinct) {
    std::set<std::uint64_t> shapes;
    for (int code = 0; code < 256; ++code) {
        std::uint64_t shape = 0;
        for (int row = 0; row < 8; ++row) shape = shape << 8 | glyphRow(code, row);
        bool blank = code == 0 || code == ' ' || code == 255;
        EXPECT_EQ(blank, shape == 0) << code;
        EXPECT_TRUE(blank || shapes.insert(shape).second) << code << " looks like another code";
        for (int row : {-1, 8, INT_MIN, INT_MAX}) EXPECT_EQ(glyphRow(code, row), 0) << code;
    }
}
