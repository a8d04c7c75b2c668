#include "screen/draw.h"
#include "screen/font.h"
#include "screen_fixture.h"

namespace {

class ConsoleTest : public ScreenTest {};

void expectCursor(int row, int column) {
    int r = 0, c = 0;
    textCursor(&r, &c);
    EXPECT_EQ(row, r);
    EXPECT_EQ(column, c);
}

}  // namespace

TEST_F(ConsoleTest, PrintPaintsOpaqueCellsAndAdvancesTheCursor) {
    drawLine(nullptr, 0, 0, 63, 47, 0xFF123456, kFilledBox, kSolid, kAbsolute);
    setTextColour(0xFFFF0000);
    locateText(3, 1);
    printText("ERROR");
    expectCursor(3, 6);
    for (int y = 16; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            const char code = "ERROR"[x / 8];
            bool set = glyphRow(static_cast<unsigned char>(code), y - 16) & (0x80 >> (x % 8));
            ASSERT_EQ(set ? 0xFFFF0000u : 0xFF000000u, screenPixel(x, y)) << x << "," << y;
        }
        EXPECT_EQ(0xFF123456u, screenPixel(40, y)) << "cells beyond the text are untouched";
    }
    EXPECT_EQ(0xFF123456u, screenPixel(0, 15));
    EXPECT_EQ(0xFF123456u, screenPixel(0, 24));
}

TEST_F(ConsoleTest, NewlineFlagAndPrintNewlineMoveToColumnOneOfTheNextRow) {
    locateText(3, 4);
    printText("ERROR", true);
    expectCursor(4, 1);
    locateText(2, 5);
    printNewline();
    expectCursor(3, 1);
}

TEST_F(ConsoleTest, LocateKeepsRowOrColumnGivenAsZeroAndRefusesOutOfRange) {
    locateText(4, 2);
    locateText(0, 7);
    expectCursor(4, 7);
    locateText(5, 0);
    expectCursor(5, 7);
    locateText(7, 1);  // 48 / 8 = 6 rows
    expectCursor(5, 7);
    locateText(1, 9);  // 64 / 8 = 8 columns
    expectCursor(5, 7);
    locateText(-1, 1);
    expectCursor(5, 7);
}

TEST_F(ConsoleTest, BackgroundChangesOnlyWhenGiven) {
    setTextColour(0xFFFFFFFF, 0xFF0000FF);
    setTextColour(0xFF00FF00);
    printText(" ");
    EXPECT_EQ(0xFF0000FFu, screenPixel(3, 3));
}

TEST_F(ConsoleTest, PrintingPastTheLastRowScrollsInsteadOfWritingOutside) {
    openMode(16, 16, kWindowless);  // 2 x 2 cells
    printText("ABCDEF");
    expectCursor(2, 3);
    printText("G", true);
    expectCursor(3, 1);
    printText("H");
    expectCursor(2, 2);
}
