#include <string>

#include "../screen/screen_fixture.h"
#include "app/app.h"
#include "editor/status.h"
#include "screen/draw.h"

namespace {

constexpr std::uint32_t kCellBackground = 0xFF0000FF;  // so even a space shows where it went
constexpr std::uint32_t kStripe = 0xFF808080;
constexpr std::uint32_t kBlack = 0xFF000000;

// The first text column (from 1) in pixel rows 0..7 that printing touched on a black screen.
int firstPrintedColumn(int width) {
    for (int x = 0; x < width; ++x)
        if (screenPixel(x, 0) != kBlack) return x / 8 + 1;
    return 0;
}

}  // namespace

class StatusTest : public ScreenTest {
  protected:
    int printedAt(int width, const std::string& text) {
        openMode(width, 16, kWindowless);
        setTextColour(0xFFFFFFFF, kCellBackground);
        printCentered(WorkArea{width, 16}, text);
        return firstPrintedColumn(width);
    }
};

TEST_F(StatusTest, StatusTextsStartWhereTheWindowWidthPutsThem) {
    EXPECT_EQ(113, printedAt(1888, " UPLOADING"));
    EXPECT_EQ(109, printedAt(1888, " RECEIVING LINK..."));
    EXPECT_EQ(105, printedAt(1888, "Link is in your CLIPBOARD!"));
}

TEST_F(StatusTest, HalfColumnsRoundToTheEvenNeighbour) {
    EXPECT_EQ(78, printedAt(1336, " UPLOADING"));  // 78.5
    EXPECT_EQ(74, printedAt(1336, " RECEIVING LINK..."));
    EXPECT_EQ(70, printedAt(1336, "Link is in your CLIPBOARD!"));
    EXPECT_EQ(4, printedAt(72, "ab"));  // 4.5 - 1 = 3.5 goes up to 4
}

TEST_F(StatusTest, TheLineBreakFollowsOnTheSameRow) {
    openMode(1888, 32, kWindowless);
    setTextColour(0xFFFFFFFF, kCellBackground);
    locateText(2, 5);
    printCentered(WorkArea{1888, 32}, " UPLOADING");
    int row = 0, column = 0;
    textCursor(&row, &column);
    EXPECT_EQ(3, row);
    EXPECT_EQ(1, column);
    EXPECT_EQ(kCellBackground, screenPixel(112 * 8, 8)) << "the leading space in row 2";
    EXPECT_EQ(kBlack, screenPixel(112 * 8 - 1, 8));
    EXPECT_EQ(kBlack, screenPixel(112 * 8, 7)) << "row 1 untouched";
}

TEST_F(StatusTest, ATextTooLongToCentreStartsAtTheCursor) {
    openMode(64, 16, kWindowless);  // 8 columns: 7 or more characters give a column below 1
    setTextColour(0xFFFFFFFF, kCellBackground);
    locateText(1, 2);
    printCentered(WorkArea{64, 16}, "abcdefg");
    EXPECT_EQ(2, firstPrintedColumn(64));
}

TEST_F(StatusTest, StripesGreyEveryEvenRowAndLeaveOddRowsAlone) {
    openMode(20, 9, kWindowless);  // odd height: the last stripe is row 8
    drawLine(nullptr, 0, 0, 19, 8, 0xFF123456, kFilledBox, kSolid, kAbsolute);
    drawStripes(WorkArea{20, 9});
    for (int y = 0; y < 9; ++y)
        for (int x : {0, 19})
            EXPECT_EQ(y % 2 == 0 ? kStripe : 0xFF123456u, screenPixel(x, y)) << x << "," << y;
}

TEST_F(StatusTest, WithAnEvenHeightTheLastVisibleStripeIsTwoRowsUp) {
    openMode(20, 10, kWindowless);
    drawStripes(WorkArea{20, 10});
    EXPECT_EQ(kStripe, screenPixel(7, 8));
    EXPECT_EQ(kBlack, screenPixel(7, 9));
}

TEST_F(StatusTest, TheBackdropIsBlackUnderTheStripes) {
    openMode(20, 10, kWindowless);
    drawLine(nullptr, 0, 0, 19, 9, 0xFF123456, kFilledBox, kSolid, kAbsolute);
    paintBackdrop(WorkArea{20, 10});
    for (int y = 0; y < 10; ++y) EXPECT_EQ(y % 2 == 0 ? kStripe : kBlack, screenPixel(13, y)) << y;
}
