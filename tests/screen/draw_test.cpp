#include <climits>
#include <cstdlib>
#include <future>

#include "../editor/editor_fixture.h"

namespace {

Points litPixels() {
    Points lit;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (screenPixel(x, y) != kBlack) lit.insert({x, y});
    return lit;
}

using DrawTest = ScreenTest;

}  // namespace

TEST_F(DrawTest, LinesLightExactlyTheirPixels) {
    Points diagonal;
    for (int i = 0; i < 48; ++i) diagonal.insert({i, i});
    struct Line {
        float x1, y1, x2, y2;
        Points lit;
    };
    // clang-format off
    const Line lines[] = {
        {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}}, {0, 0, 2, 1, {{0, 0}, {1, 1}, {2, 1}}},
        {5, 5, 5, 5, {{5, 5}}}, {2.5f, 3.5f, 2.5f, 3.5f, {{3, 4}}},  // halves away from zero
        {-0.5f, 10.4f, -0.5f, 10.4f, {}}, {-1e9f, -5, 1e9f, -5, {}}, {1e30f, 1e30f, -1e30f, 2e30f, {}},
        {-3e9f, -3e9f, 3e9f, 3e9f, diagonal},  // the error term needs more than 64 bits
    };
    // clang-format on
    for (const Line& l : lines) {
        openMode(64, 48, kWindowless);
        drawLine(nullptr, l.x1, l.y1, l.x2, l.y2, kWhite, kLine, kSolid, kAbsolute);
        EXPECT_EQ(l.lit, litPixels()) << l.x1 << "," << l.y1 << " to " << l.x2 << "," << l.y2;
    }
    drawLine(nullptr, 10, 20, 7, 3, kWhite, kLine, kSolid, kAbsolute);
    EXPECT_TRUE(litPixels().count({10, 20}) && litPixels().count({7, 3})) << "ends on both ends";
}

TEST_F(DrawTest, ClippingKeepsThePixelsOfTheWholeLineAndOutline) {
    // Drawn shifted onto a large image, where nothing is cut off, and clipped onto the screen.
    ImagePtr line(createImage(400, 400, kBlack, 0)), box(createImage(400, 400, kBlack, 0));
    drawLine(line.get(), 0, 0, 450, 210, kWhite, kLine, kSolid, kAbsolute);
    drawLine(nullptr, -150, -40, 300, 170, kWhite, kLine, kSolid, kAbsolute);
    drawLine(box.get(), 10, 30, 30, 60, kWhite, kBoxOutline, 0x0F0F, kAbsolute);
    drawLine(nullptr, 10, 30, 30, 60, kRed, kBoxOutline, 0x0F0F, kAbsolute);  // bottom row 60
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inBox = imageRow(box.get(), y)[x] == kWhite;
            ASSERT_EQ(inBox ? kRed : imageRow(line.get(), y + 40)[x + 150], screenPixel(x, y));
        }
}

TEST_F(DrawTest, DashedOutlineRunsOnAroundThePerimeter) {
    // A 12 x 10 box at (10, 10), white, then 0x0F0F black over it, read along the bottom, the top,
    // then the right and the left side top down; a corner is black if either of its visits set it.
    drawLine(nullptr, 10, 10, 21, 19, kWhite, kBoxOutline, kSolid, kAbsolute);
    drawLine(nullptr, 10, 10, 21, 19, kBlack, kBoxOutline, 0x0F0F, kAbsolute);
    struct Side {
        int x, y, dx, dy, n;  // the start, the step and the length
    };
    std::string shown;
    for (Side s : {Side{10, 19, 1, 0, 12}, Side{10, 10, 1, 0, 12}, Side{21, 10, 0, 1, 10},
                   Side{10, 10, 0, 1, 10}}) {
        for (int i = 0; i < s.n; ++i)
            shown += screenPixel(s.x + i * s.dx, s.y + i * s.dy) == kWhite ? "W" : "B";
        shown += " ";
    }
    EXPECT_EQ("WWWWBBBBWWWW BBBBWWWWBBBB BWWWBBBBWW BWBBBBWWWW ", shown);
}

TEST_F(DrawTest, BoxesClipTakeCornersInAnyOrderAndMarkOnlyTheirRows) {
    clearMarks();
    drawLine(nullptr, 70, 5, 90, 9, kWhite, kFilledBox, kSolid, kAbsolute);
    drawLine(nullptr, -9, -9, -1, -1, kWhite, kBoxOutline, kSolid, kAbsolute);
    EXPECT_TRUE(litPixels().empty() && markedRows().empty());
    drawLine(nullptr, 9, 8, 9, 8, kWhite, kBoxOutline, kSolid, kAbsolute);
    drawLine(nullptr, 6, 6, 2, 2, kWhite, kFilledBox, kSolid, kAbsolute);
    EXPECT_EQ(26u, litPixels().size());
    EXPECT_EQ((std::vector<int>{2, 3, 4, 5, 6, 8}), markedRows());
    drawLine(nullptr, 0, 0, 64, 48, kWhite, kFilledBox, kSolid, kRelative);
    EXPECT_EQ(64u * 48u, litPixels().size());
}

TEST_F(DrawTest, PutImageCopiesExactlyClampsItsSourceAndClips) {
    ImagePtr source(patternedImage(20, 20)), target(createImage(10, 10, kBlack, 0));
    imageRow(source.get(), 0)[1] = 0x12345678;  // alpha is copied, not blended
    imageRow(source.get(), 0)[2] = kMagenta;    // and magenta is no transparent colour
    putImage(nullptr, 4, 5, source.get(), 1, 0, 2, 0, kAbsolute);
    EXPECT_EQ(values(0x12345678, kMagenta, kBlack),
              values(screenPixel(4, 5), screenPixel(5, 5), screenPixel(6, 5)));
    // Cut off left and top, the source start moves along; right and bottom simply end.
    putImage(nullptr, -5, -7, source.get());
    putImage(nullptr, 60, 45, source.get());
    EXPECT_EQ(values(patternAt(5, 7), patternAt(19, 19), kBlack, kBlack, patternAt(3, 2)),
              values(screenPixel(0, 0), screenPixel(14, 12), screenPixel(15, 12),
                     screenPixel(0, 13), screenPixel(63, 47)));
    // 11 x 11 onto 10 x 10 drops the last column and row; a second corner beyond the source copies
    // up to its last column and row; relative corners may come backwards.
    putImage(target.get(), 0, 0, ImagePtr(patternedImage(11, 11)).get());
    EXPECT_EQ(patternAt(9, 9), imageRow(target.get(), 9)[9]);
    putImage(target.get(), 0, 0, source.get(), 17, 18, 50, 50, kAbsolute);
    putImage(target.get(), 5, 5, source.get(), 5, 5, -2, -3, kRelative);
    EXPECT_EQ(values(patternAt(17, 18), patternAt(19, 19), patternAt(3, 0), patternAt(3, 2),
                     patternAt(5, 5), patternAt(8, 9)),
              values(imageRow(target.get(), 0)[0], imageRow(target.get(), 1)[2],
                     imageRow(target.get(), 0)[3], imageRow(target.get(), 5)[5],
                     imageRow(target.get(), 8)[7], imageRow(target.get(), 9)[8]));
}

TEST_F(DrawTest, TextTakesEightPixelsPerCharacterAndSpacesLeaveTheBackground) {
    ImagePtr image(createImage(200, 20, kRed, 0));
    drawText(image.get(), 0, 4, "UPLOAD (U)", kBlack);
    int right = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x)
            if (imageRow(image.get(), y)[x] == kBlack) {
                ASSERT_TRUE(y >= 4 && y < 12 && (x < 48 || x >= 56)) << x << "," << y;
                right = std::max(right, x);
            }
    EXPECT_TRUE(right >= 72 && right < 80) << "\"UPLOAD (U)\" covers 80 pixels, not " << right;
    drawText(nullptr, -4, -3, "HELLO WORLD", kWhite);  // clipped, never written outside
    drawText(nullptr, 60, 44, "XY", kWhite);
}

// A frame holds the screen lock while it reads input or retitles its window.
TEST_F(DrawTest, ScreenCallsNestInsideAFrameLock) {
    auto frame = std::async(std::launch::async, [] {
        lockScreen();
        mouse();
        setWindowTitle(readKey() + std::to_string(getWindowHandle()));
        sleepMs(100);
        unlockScreen();
    });
    if (frame.wait_for(std::chrono::seconds(2)) == std::future_status::ready) return;
    ADD_FAILURE() << "a screen call waits for the lock its own frame holds";
    std::_Exit(1);  // that thread never ends
}

TEST_F(DrawTest, PrintPaintsOpaqueCellsAndTheCursorRefusesToLeaveTheGrid) {
    drawLine(nullptr, 0, 0, 63, 47, 0xFF123456, kFilledBox, kSolid, kAbsolute);
    setTextColour(kWhite, kBlue);  // the background changes only when given
    setTextColour(kRed);
    locateText(3, 1);
    printText("ERROR");
    EXPECT_EQ(306, cursorAt());
    for (int y = 15; y < 25; ++y)
        for (int x = 0; x < 41; ++x) {
            bool cell = y >= 16 && y < 24 && x < 40;
            bool set = cell && (glyphRow("ERROR"[x / 8], y - 16) & (0x80 >> (x % 8)));
            ASSERT_EQ(set ? kRed : cell ? kBlue : 0xFF123456u, screenPixel(x, y)) << x << "," << y;
        }
    // Locate row, column; the cursor after it. A 64 x 48 screen has 6 rows of 8 columns.
    struct Move {
        int row, column, after;
    };
    for (Move m : {Move{4, 2, 402}, Move{0, 7, 407}, Move{5, 0, 507}, Move{7, 1, 507},
                   Move{1, 9, 507}, Move{-1, 1, 507}}) {
        locateText(m.row, m.column);
        EXPECT_EQ(m.after, cursorAt()) << m.row << "," << m.column;
    }
    locateText(3, 4);
    printText("ERROR", true);
    EXPECT_EQ(401, cursorAt());
    locateText(2, 5);
    printNewline();
    EXPECT_EQ(301, cursorAt());
}

// Shapes are the font's choice; what counts: blanks empty, other codes distinct, all in 8 x 8.
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
