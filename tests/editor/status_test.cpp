#include <string>

#include "../screen/screen_fixture.h"
#include "app/app.h"
#include "editor/status.h"
#include "screen/draw.h"

namespace {

constexpr std::uint32_t kCellBackground = 0xFF0000FF;  // so even a space shows where it went
constexpr std::uint32_t kBlack = 0xFF000000;

}  // namespace

class StatusTest : public ScreenTest {
  protected:
    // The first text column (from 1) that printing `text` centred touches, the cursor standing at
    // row 1, column `from` of a `width` x 16 screen.
    int printedAt(int width, const std::string& text, int from = 1) {
        openMode(width, 16, kWindowless);
        setTextColour(0xFFFFFFFF, kCellBackground);
        locateText(1, from);
        printCentered(WorkArea{width, 16}, text);
        for (int x = 0; x < width; ++x)
            if (screenPixel(x, 0) != kBlack) return x / 8 + 1;
        return 0;
    }
};

TEST_F(StatusTest, TextsStartWhereTheWindowWidthPutsThemHalvesRoundingToEven) {
    EXPECT_EQ(113, printedAt(1888, " UPLOADING"));
    EXPECT_EQ(109, printedAt(1888, " RECEIVING LINK..."));
    EXPECT_EQ(105, printedAt(1888, "Link is in your CLIPBOARD!"));
    EXPECT_EQ(78, printedAt(1336, " UPLOADING"));  // 78.5
    EXPECT_EQ(74, printedAt(1336, " RECEIVING LINK..."));
    EXPECT_EQ(70, printedAt(1336, "Link is in your CLIPBOARD!"));
    EXPECT_EQ(4, printedAt(72, "ab"));          // 4.5 - 1 = 3.5 goes up to 4
    EXPECT_EQ(2, printedAt(64, "abcdefg", 2));  // too long to centre: starts at the cursor
    int row = 0, column = 0;
    textCursor(&row, &column);
    EXPECT_EQ(201, row * 100 + column) << "the line break follows on the same row";
}
