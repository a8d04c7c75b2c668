#include <gtest/gtest.h>

#include "editor/menu.h"

TEST(ButtonTable, LaysOutSevenButtonsWithTheWiderGapBeforeTheTools) {
    ButtonTable table = buildButtonTable(1016);
    const int xs[] = {8, 106, 204, 376, 518, 660, 802};
    const int widths[] = {96, 96, 140, 140, 140, 140, 140};
    const char* keys[] = {"u", "q", " ", "1", "2", "3", "R"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(xs[i], table[i].x) << i;
        EXPECT_EQ(1016 - 38, table[i].y) << i;
        EXPECT_EQ(widths[i], table[i].width) << i;
        EXPECT_EQ(32, table[i].height) << i;
        EXPECT_EQ(keys[i], table[i].key) << i;
    }
    EXPECT_EQ("HIDE (Any Other)", table[2].caption);
    EXPECT_EQ(943, table[6].x + table[6].width + 1) << "REVERT's frame ends at x = 943";
}

TEST(ButtonTable, CaptionPointsAreWholePixels) {
    ButtonTable table = buildButtonTable(600);
    const int captionX[] = {18, 124, 212, 416, 550, 700, 834};
    for (int i = 0; i < 7; ++i) {
        double x = table[i].x + table[i].width / 2.0 - 4.0 * table[i].caption.size() + 2;
        EXPECT_EQ(captionX[i], x) << table[i].caption;
        EXPECT_EQ(600 - 24, table[i].y + table[i].height / 2.0 - 2);
    }
}
