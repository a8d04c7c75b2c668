#include "editor_fixture.h"

namespace {

// originX, originY, panX, panY of a width x height capture placed on a 1888 x 1016 desktop.
std::vector<long long> placed(int width, int height) {
    View view;
    view.panX = 7, view.panY = 9;  // placing must reset any earlier pan
    placeCapture(view, WorkArea{1888, 1016}, ImagePtr(createImage(width, height, kMagenta)).get());
    return values(view.originX, view.originY, view.panX, view.panY);
}

// The first column (from 1) that `text` centred from column `from` touches; blue cells show spaces.
int printedAt(int width, const std::string& text, int from = 1) {
    EXPECT_EQ(0, setScreenMode(width, 16, 32, 0, kWindowless, 0));
    setTextColour(0xFFFFFFFF, 0xFF0000FF);
    locateText(1, from);
    printCentered(WorkArea{width, 16}, text);
    for (int x = 0; x < width; ++x)
        if (screenPixel(x, 0) != 0xFF000000u) return x / 8 + 1;
    return 0;
}

}  // namespace

// Halves round to even; a text too long to centre starts at the cursor, its line break on that row.
TEST_F(EditorTest, StatusTextsStartWhereTheWindowWidthPutsThem) {
    struct Case {
        int width;
        const char* text;
        int from, column;
    };
    for (const Case& c : {Case{1336, " UPLOADING", 1, 78},  // 83.5 - 5 = 78.5: 78
                          Case{72, "ab", 1, 4},             // 4.5 - 1 = 3.5: 4
                          Case{64, "abcdefg", 2, 2}})
        EXPECT_EQ(c.column, printedAt(c.width, c.text, c.from)) << c.width << " " << c.text;
    EXPECT_EQ(201, cursorAt());
}

TEST_F(EditorTest, PlacementCentresWhatFitsPutsTheRestAtTheCornerAndCutsTheImageArea) {
    EXPECT_EQ(values(445, 192, 0, 0), placed(1001, 601));  // floor(944 - 500.5) + 2
    EXPECT_EQ(values(2, -16, 0, 0), placed(1888, 1016));   // exactly the window
    struct Size {
        int width, height;
    };
    for (Size s : {Size{1889, 1016}, Size{1888, 1017}, Size{10, 1017}, Size{1889, 10}})
        EXPECT_EQ(values(4, 4, 0, 0), placed(s.width, s.height)) << s.width << " x " << s.height;
    const View& v = editor.view;
    clipImageArea(editor.view, program.work, picture());
    EXPECT_EQ(values(402, 84, 602, 184), values(v.originX, v.originY, v.right, v.bottom));
    struct Point {
        int x, y;
        bool inside;
    };
    for (Point p : {Point{402, 84, true}, Point{601, 183, true}, Point{602, 100, false},
                    Point{500, 184, false}, Point{401, 100, false}, Point{500, 83, false}})
        EXPECT_EQ(p.inside, inImageArea(v, p.x, p.y)) << p.x << "," << p.y;
    show(patternedImage(1200, 500));
    clipImageArea(editor.view, program.work, picture());
    EXPECT_EQ(values(kWidth - 5, kHeight - 44), values(v.right, v.bottom));
    EXPECT_FALSE(inImageArea(v, -1, -1)) << "an unavailable pointer is never inside";
}

TEST_F(EditorTest, CapturesAreDrawnWhereTheyArePlacedAndTheBackdropShowsBeyond) {
    show(patternedImage(1200, 500));
    frames(1);
    // The last visible column and row are drawn, though outside the image area; beyond, backdrop.
    EXPECT_EQ(values(patternAt(0, 0), patternAt(kWidth - 9, kHeight - 48), 0xFF808080, 0xFF000000,
                     0xFF000000),
              values(screenPixel(4, 4), screenPixel(kWidth - 5, kHeight - 44),
                     screenPixel(kWidth - 4, 100), screenPixel(kWidth - 4, 101),
                     screenPixel(100, kHeight - 43)));
    // A centred capture is drawn whole and the window clips it; it covers the menu bar too.
    show(patternedImage(kWidth, kHeight));
    frames(1);
    EXPECT_EQ(
        values(patternAt(0, 16), patternAt(kWidth - 3, kHeight - 1), patternAt(400, kHeight - 4)),
        values(screenPixel(2, 0), screenPixel(kWidth - 1, kHeight - 17),
               screenPixel(402, kHeight - 20)));
}

TEST_F(EditorTest, TheRightButtonPansWithinTheCapturesEdgesOnlyOverItAndOnlyWhileAvailable) {
    const int endX = 1200 - kWidth + 8, endY = 500 - kHeight + 47;
    struct Step {
        int x, y, panX, panY;  // where the pointer goes and the pan expected there
    };
    struct Case {
        int width, height, fromX, fromY;  // the capture, where the right button goes down
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {1200, 500, 500, 150, {{490, 145, 10, 5}, {495, 150, 5, 0}}},  // the view follows the hand
        {1200, 500, 900, 290, {{10, 10, endX, endY}, {900, 250, 0, 7}, {990, 290, 0, 0}}},
        {300, 500, 200, 200, {{100, 100, 0, 100}}},  // only too tall: only y pans
        {300, 500, 600, 200, {{600, 150, 0, 0}}},    // right of the capture
        {300, 500, 100, 280, {{100, 270, 0, 10}}},   // over the menu bar, but over the capture
        {200, 100, 500, 150, {{450, 120, 0, 0}}},    // a centred capture never pans
    };
    for (const Case& c : cases) {
        show(patternedImage(c.width, c.height));
        pointAt(c.fromX, c.fromY, 1);
        headlessButton(kRightButton, true);
        for (const Step& s : c.steps) {
            pointAt(s.x, s.y, 1);
            EXPECT_EQ(values(s.panX, s.panY), values(editor.view.panX, editor.view.panY))
                << c.width << " x " << c.height << " to " << s.x << "," << s.y;
            if (editor.view.originX == 4) {  // the larger layout shows the capture from the pan on
                EXPECT_EQ(patternAt(s.panX, s.panY), screenPixel(4, 4));
            }
        }
        headlessButton(kRightButton, false);
    }
    // The left button draws, it does not pan; an unavailable pointer does not pan and is the next
    // frame's previous position.
    show(patternedImage(1200, 500));
    pointAt(500, 150, 1);
    leftDown();
    pointAt(490, 145, 1);
    EXPECT_EQ(0, editor.view.panX);
    leftUp();
    headlessButton(kRightButton, true);
    pointAt(500, 150, 1);
    headlessSetInside(false);
    frames(1);
    EXPECT_EQ(values(-1, -1, 0), values(editor.previousX, editor.previousY, editor.view.panX));
    headlessSetInside(true);
    pointAt(5, 4, 1);
    EXPECT_EQ(0, editor.view.panX) << "measured from (-1, -1): a move right, clamped at 0";
    pointAt(4, 4, 1);
    EXPECT_EQ(1, editor.view.panX);
}
