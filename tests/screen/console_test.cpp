#include "screen/draw.h"
#include "screen/font.h"
#include "screen_fixture.h"

namespace {

class ConsoleTest : public ScreenTest {
  protected:
    // The cursor as row * 100 + column.
    int cursor() {
        int row = 0, column = 0;
        textCursor(&row, &column);
        return row * 100 + column;
    }
};

}  // namespace

TEST_F(ConsoleTest, PrintPaintsOpaqueCellsInTheTextColoursAndAdvancesTheCursor) {
    drawLine(nullptr, 0, 0, 63, 47, 0xFF123456, kFilledBox, kSolid, kAbsolute);
    setTextColour(0xFFFFFFFF, 0xFF0000FF);  // the background changes only when given
    setTextColour(0xFFFF0000);
    locateText(3, 1);
    printText("ERROR");
    EXPECT_EQ(306, cursor());
    for (int y = 15; y < 25; ++y) {
        for (int x = 0; x < 41; ++x) {
            bool cell = y >= 16 && y < 24 && x < 40;
            bool set = cell && (glyphRow("ERROR"[x / 8], y - 16) & (0x80 >> (x % 8)));
            ASSERT_EQ(set    ? 0xFFFF0000u
                      : cell ? 0xFF0000FFu
                             : 0xFF123456u,
                      screenPixel(x, y))
                << x << "," << y;
        }
    }
}

TEST_F(ConsoleTest, CursorMovesAsToldAndRefusesToLeaveTheGrid) {
    // Locate row, column; the cursor after it. A 64 x 48 screen has 6 rows of 8 columns.
    const int moves[][3] = {{4, 2, 402}, {0, 7, 407}, {5, 0, 507},
                            {7, 1, 507}, {1, 9, 507}, {-1, 1, 507}};
    for (const auto& m : moves) {
        locateText(m[0], m[1]);
        EXPECT_EQ(m[2], cursor()) << m[0] << "," << m[1];
    }
    locateText(3, 4);
    printText("ERROR", true);
    EXPECT_EQ(401, cursor());
    locateText(2, 5);
    printNewline();
    EXPECT_EQ(301, cursor());
}
