#include <set>
#include <utility>

#include "screen/draw.h"
#include "screen_fixture.h"

namespace {

constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kRed = 0xFFFF0000;

using Pixels = std::set<std::pair<int, int>>;

// Every pixel of the screen that is not black.
Pixels litPixels() {
    Pixels lit;
    for (int y = 0; y < screenHeight(); ++y)
        for (int x = 0; x < screenWidth(); ++x)
            if (screenPixel(x, y) != kBlack) lit.insert({x, y});
    return lit;
}

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr numberedImage(int width, int height) {
    ImagePtr image(createImage(width, height, kMagenta, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) imageRow(image.get(), y)[x] = 0xFF000000u | (y << 8) | x;
    return image;
}

class DrawTest : public ScreenTest {};

}  // namespace

TEST_F(DrawTest, BresenhamMatchesTheWorkedExamples) {
    drawLine(nullptr, 0, 0, 3, 1, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_EQ((Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}), litPixels());
    openMode(64, 48, kWindowless);
    drawLine(nullptr, 0, 0, 2, 1, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_EQ((Pixels{{0, 0}, {1, 1}, {2, 1}}), litPixels());
}

TEST_F(DrawTest, SteepAndBackwardLinesEndOnTheirEndPoint) {
    drawLine(nullptr, 10, 20, 7, 3, kWhite, kLine, kSolid, kAbsolute);
    Pixels lit = litPixels();
    EXPECT_EQ(18u, lit.size()) << "one pixel per row of the major axis";
    EXPECT_TRUE(lit.count({10, 20}));
    EXPECT_TRUE(lit.count({7, 3}));
}

TEST_F(DrawTest, SinglePixelLineAndOutline) {
    drawLine(nullptr, 5, 5, 5, 5, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_EQ((Pixels{{5, 5}}), litPixels());
    openMode(64, 48, kWindowless);
    drawLine(nullptr, 9, 8, 9, 8, kWhite, kBoxOutline, kSolid, kAbsolute);
    EXPECT_EQ((Pixels{{9, 8}}), litPixels());
}

TEST_F(DrawTest, ClippedSlantedLineLightsTheSamePixelsAsTheWholeLine) {
    // The same line drawn onto a large image and onto the small screen must agree where both
    // can show it.
    ImagePtr big(createImage(400, 400, kBlack, 0));
    drawLine(big.get(), -150, -40, 300, 170, kWhite, kLine, kSolid, kAbsolute);
    drawLine(nullptr, -150, -40, 300, 170, kWhite, kLine, kSolid, kAbsolute);
    ImagePtr shifted(createImage(400, 400, kBlack, 0));
    drawLine(shifted.get(), 0, 0, 450, 210, kWhite, kLine, kSolid, kAbsolute);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(imageRow(shifted.get(), y + 40)[x + 150], screenPixel(x, y)) << x << "," << y;
}

TEST_F(DrawTest, LinesFarOutsideDrawNothingAndHugeOnesStayCheap) {
    drawLine(nullptr, -1e9f, -5, 1e9f, -5, kWhite, kLine, kSolid, kAbsolute);
    drawLine(nullptr, 1e30f, 1e30f, -1e30f, 2e30f, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_TRUE(litPixels().empty());
    drawLine(nullptr, -2e9f, 24, 2e9f, 25, kWhite, kLine, kSolid, kAbsolute);
    Pixels lit = litPixels();
    EXPECT_EQ(64u, lit.size());
}

TEST_F(DrawTest, CoordinatesRoundHalvesAwayFromZero) {
    drawLine(nullptr, 2.5f, 3.5f, 2.5f, 3.5f, kWhite, kLine, kSolid, kAbsolute);
    drawLine(nullptr, -0.5f, 10.4f, -0.5f, 10.4f, kRed, kLine, kSolid, kAbsolute);
    EXPECT_EQ(kWhite, screenPixel(3, 4));
    EXPECT_EQ(kBlack, screenPixel(0, 10)) << "-0.5 rounds to -1, off the screen";
}

TEST_F(DrawTest, FilledBoxOfTheWholeScreenInRelativeMode) {
    ImagePtr image(createImage(64, 48, kMagenta, 0));
    drawLine(image.get(), 0, 0, 64, 48, kRed, kFilledBox, kSolid, kRelative);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) ASSERT_EQ(kRed, imageRow(image.get(), y)[x]);
        // The padding beyond the last column is not part of the picture and stays untouched.
    }
    drawLine(nullptr, 0, 0, 64, 48, kRed, kFilledBox, kSolid, kRelative);
    EXPECT_EQ(64u * 48u, litPixels().size());
}

TEST_F(DrawTest, DashedOutlineRunsOnAroundThePerimeter) {
    // 12 x 10 box from (10, 10) to (21, 19), white solid, then 0x0F0F black over it.
    drawLine(nullptr, 10, 10, 21, 19, kWhite, kBoxOutline, kSolid, kAbsolute);
    drawLine(nullptr, 10, 10, 21, 19, kBlack, kBoxOutline, 0x0F0F, kAbsolute);
    auto shown = [](int x, int y) { return screenPixel(x, y) == kWhite ? 'W' : 'B'; };
    std::string bottom, top;
    for (int x = 10; x <= 21; ++x) {
        bottom += shown(x, 19);
        top += shown(x, 10);
    }
    EXPECT_EQ("WWWWBBBBWWWW", bottom);  // k = 0..11, starting white at the bottom-left corner
    EXPECT_EQ("BBBBWWWWBBBB", top);     // k = 12..23
    std::string right, left;
    for (int y = 10; y <= 19; ++y) {
        right += shown(21, y);
        left += shown(10, y);
    }
    // Right edge k = 24..33 and left edge k = 34..43, top to bottom; a corner shows black when
    // either of its two visits had a set bit (the top edge's k = 23 and k = 12 did).
    EXPECT_EQ("BWWWBBBBWW", right);
    EXPECT_EQ("BWBBBBWWWW", left);
}

TEST_F(DrawTest, ClippedOutlineKeepsItsPatternPositions) {
    ImagePtr whole(createImage(64, 64, kBlack, 0));
    drawLine(whole.get(), 10, 30, 30, 60, kWhite, kBoxOutline, 0x0F0F, kAbsolute);
    drawLine(nullptr, 10, 30, 30, 60, kWhite, kBoxOutline, 0x0F0F,
             kAbsolute);  // bottom row 60 > 47
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(imageRow(whole.get(), y)[x], screenPixel(x, y)) << x << "," << y;
    for (int x = 0; x < 64; ++x) ASSERT_EQ(kBlack, screenPixel(x, 47)) << "no bottom edge drawn";
}

TEST_F(DrawTest, BoxWhollyOutsideDrawsNothingAndCornersMayComeInAnyOrder) {
    drawLine(nullptr, 70, 5, 90, 9, kWhite, kFilledBox, kSolid, kAbsolute);
    drawLine(nullptr, -9, -9, -1, -1, kWhite, kBoxOutline, kSolid, kAbsolute);
    EXPECT_TRUE(litPixels().empty());
    drawLine(nullptr, 6, 6, 2, 2, kWhite, kFilledBox, kSolid, kAbsolute);
    EXPECT_EQ(25u, litPixels().size());
}

TEST_F(DrawTest, OperationsMarkOnlyTheRowsTheyTouched) {
    clearMarks();
    drawLine(nullptr, 0, 7, 63, 9, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_EQ((std::vector<int>{7, 8, 9}), markedRows());
    clearMarks();
    drawLine(nullptr, 0, -20, 63, -10, kWhite, kFilledBox, kSolid, kAbsolute);
    EXPECT_TRUE(markedRows().empty());
    clearMarks();
    drawText(nullptr, 0, 40, "ab", kWhite);
    std::vector<int> rows = markedRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_GE(rows.front(), 40);
    EXPECT_LE(rows.back(), 47);
}

TEST_F(DrawTest, PutImageCopiesExactlyIncludingAlphaAndMagenta) {
    ImagePtr source(createImage(3, 2, kMagenta, 0));
    imageRow(source.get(), 0)[0] = 0x12345678;  // alpha 0x12 is copied, not blended
    putImage(nullptr, 4, 5, source.get());
    EXPECT_EQ(0x12345678u, screenPixel(4, 5));
    EXPECT_EQ(kMagenta, screenPixel(6, 6));
    EXPECT_EQ(kBlack, screenPixel(7, 6));
    EXPECT_EQ(kBlack, screenPixel(4, 7));
}

TEST_F(DrawTest, PutImageClampsTheSourceRectangle) {
    ImagePtr source = numberedImage(10, 10);
    ImagePtr target(createImage(10, 10, kBlack, 0));
    // 11 x 11 at (0, 0) of a 10 x 10 target: fills it, dropping the last column and row.
    putImage(target.get(), 0, 0, numberedImage(11, 11).get());
    EXPECT_EQ(0xFF000909u, imageRow(target.get(), 9)[9]);
    // A second corner beyond the source copies up to its last column and row.
    ImagePtr small(createImage(10, 10, kBlack, 0));
    putImage(small.get(), 0, 0, source.get(), 7, 8, 50, 50, kAbsolute);
    EXPECT_EQ(0xFF000807u, imageRow(small.get(), 0)[0]);
    EXPECT_EQ(0xFF000909u, imageRow(small.get(), 1)[2]);
    EXPECT_EQ(kBlack, imageRow(small.get(), 2)[0]);
    EXPECT_EQ(kBlack, imageRow(small.get(), 0)[3]);
    // Relative mode with corners given backwards.
    ImagePtr rel(createImage(10, 10, kBlack, 0));
    putImage(rel.get(), 1, 1, source.get(), 5, 5, -2, -3, kRelative);
    EXPECT_EQ(0xFF000203u, imageRow(rel.get(), 1)[1]);
    EXPECT_EQ(0xFF000505u, imageRow(rel.get(), 4)[3]);
    EXPECT_EQ(kBlack, imageRow(rel.get(), 5)[1]);
}

TEST_F(DrawTest, PutImageClipsAtEveryEdgeAndMovesTheSourceStart) {
    ImagePtr source = numberedImage(20, 20);
    putImage(nullptr, -5, -7, source.get());
    EXPECT_EQ(0xFF000705u, screenPixel(0, 0));
    EXPECT_EQ(0xFF001313u, screenPixel(14, 12));  // the source's last pixel
    EXPECT_EQ(kBlack, screenPixel(15, 12));
    EXPECT_EQ(kBlack, screenPixel(0, 13));
    openMode(64, 48, kWindowless);
    putImage(nullptr, 60, 45, source.get());
    EXPECT_EQ(0xFF000203u, screenPixel(63, 47));
    putImage(nullptr, 1000, 1000, source.get());
    putImage(nullptr, 0, 0, nullptr);
}

TEST_F(DrawTest, TextCoversEightPixelsPerCharacterAndSpacesShowTheBackground) {
    drawLine(nullptr, 0, 0, 63, 47, kRed, kFilledBox, kSolid, kAbsolute);
    drawText(nullptr, 0, 10, "U U", kBlack);
    int left = 64, right = -1;
    for (int y = 10; y < 18; ++y)
        for (int x = 0; x < 64; ++x)
            if (screenPixel(x, y) == kBlack) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GE(left, 0);
    EXPECT_GE(right, 16) << "the third character starts at x = 16";
    EXPECT_LE(right, 23);
    for (int y = 10; y < 18; ++y)
        for (int x = 8; x < 16; ++x)
            ASSERT_EQ(kRed, screenPixel(x, y)) << "the space draws nothing";
}

TEST_F(DrawTest, UploadCaptionSpansEightyPixels) {
    ImagePtr image(createImage(200, 20, kWhite, 0));
    drawText(image.get(), 0, 0, "UPLOAD (U)", kBlack);
    int right = -1;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 200; ++x)
            if (imageRow(image.get(), y)[x] == kBlack) right = std::max(right, x);
    EXPECT_GE(right, 72);
    EXPECT_LT(right, 80);
    for (int y = 8; y < 20; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(kWhite, imageRow(image.get(), y)[x]);
}

TEST_F(DrawTest, TextPartlyOutsideIsClipped) {
    drawText(nullptr, -4, -3, "HELLO WORLD AND MORE TEXT", kWhite);
    drawText(nullptr, 60, 44, "XY", kWhite);
    Pixels lit = litPixels();
    EXPECT_FALSE(lit.empty());
}

TEST_F(DrawTest, NothingIsDrawnWithoutAMode) {
    headlessFailNextOpen();
    ASSERT_NE(0, setScreenMode(8, 8, 32, 0, kBorderless, 0));
    drawLine(nullptr, 0, 0, 5, 5, kWhite, kFilledBox, kSolid, kAbsolute);
    drawText(nullptr, 0, 0, "A", kWhite);
    printText("A");
    EXPECT_EQ(0, screenWidth());
}
