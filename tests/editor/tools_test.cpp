#include "editor_fixture.h"

class ToolTest : public EditorTest {
  protected:
    static Points rectangle(int x1, int y1, int x2, int y2) {
        Points points;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x) points.insert({x, y});
        return points;
    }
    // Left button down over image point a for a frame, at b for a frame, released for a third.
    void drag(int ax, int ay, int bx, int by, bool release = true) {
        pointAt(wx(ax), wy(ay));
        leftDown();
        frames(1);
        pointAt(wx(bx), wy(by), 1);
        if (release) leftUp(), frames(1);
    }
    Points changed() const {
        Points points;
        for (int y = 0; y < int(picture()->height); ++y)
            for (int x = 0; x < int(picture()->width); ++x)
                if (imagePixel(picture(), x, y) != patternAt(x, y)) points.insert({x, y});
        return points;
    }
    std::vector<long long> state() const {
        return values(picture()->width, picture()->height, editor.drag.censorDrag,
                      editor.drag.cropDrag);
    }
    std::uint32_t shown(int x, int y) const { return screenPixel(wx(x), wy(y)); }
};

TEST_F(ToolTest, MarkIsAThreeByThreeRedPenFromThePreviousPositionInsideTheImageArea) {
    pointAt(wx(10), wy(10), 1);
    drag(10, 10, 30, 10, false);
    EXPECT_EQ(rectangle(9, 9, 31, 11), changed());
    EXPECT_EQ(values(kRed, kRed, patternAt(20, 12)),  // red, and shown in the same frame
              values(imagePixel(picture(), 20, 10), shown(20, 11), shown(20, 12)));
    show(patternedImage(200, 100));
    drag(-5, 10, -2, 10, false);
    EXPECT_TRUE(changed().empty()) << "outside the image area";
    startEditor(program, editor);  // the previous position is (0, 0) again
    pointAt(wx(10), wy(10), 1);
    EXPECT_EQ(kRed, imagePixel(picture(), 10, 10));
    EXPECT_EQ(0, changed().begin()->first) << "the segment from window (0, 0) enters from the left";
}

// A censor previews until a release (not an unavailable pointer's), then completes wherever it is.
TEST_F(ToolTest, ACensorPreviewsUntilReleaseAndCoversBothCornersInEitherDirection) {
    editor.tool = Tool::CENSOR;
    drag(50, 20, 50, 20, false);  // a click without moving: only the preview until release
    EXPECT_EQ(values(200, 100, 1, 0), state());
    EXPECT_TRUE(changed().empty() && shown(50, 20) == kBlack);
    leftUp();
    frames(1);
    EXPECT_EQ(rectangle(50, 20, 50, 20), changed());
    drag(60, 40, 20, 30, false);  // the preview stands at the mapped corners
    EXPECT_EQ(values(kBlack, kBlack, patternAt(61, 40), patternAt(20, 29)),
              values(shown(60, 40), shown(20, 30), shown(61, 40), shown(20, 29)));
    leftUp();
    headlessSetActive(false);
    frames(2);
    EXPECT_EQ(values(200, 100, 1, 0), state());
    headlessSetActive(true);
    pointAt(900, 10, 1);  // far outside the image
    Points expected = rectangle(20, 30, 60, 40);
    expected.insert({50, 20});
    EXPECT_EQ(expected, changed());
    EXPECT_EQ(kBlack, imagePixel(picture(), 50, 20));
}

TEST_F(ToolTest, CropFromEitherCornerKeepsTheBoxAndPlacesTheSmallerCaptureAnew) {
    for (bool reversed : {false, true}) {
        show(patternedImage(200, 100));
        editor.tool = Tool::CROP;
        reversed ? drag(110, 60, 10, 10) : drag(10, 10, 110, 60);
        ASSERT_EQ(values(100, 50, 0, 0), state());
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(patternAt(x + 10, y + 10), imagePixel(picture(), x, y)) << x << "," << y;
        const DragState& d = editor.drag;  // the tool stays CROP
        EXPECT_EQ(values(10, 10, 110, 60, Tool::CROP), values(d.x1, d.y1, d.x2, d.y2, editor.tool));
    }
    // Placed at floor(500 - 50) + 2, 150 - 25 - 16; where the old capture was, the backdrop.
    EXPECT_EQ(values(452, 109), values(editor.view.originX, editor.view.originY));
    EXPECT_EQ(values(patternAt(10, 10), 0xFF808080, kBlack),
              values(screenPixel(452, 109), screenPixel(403, 86), screenPixel(403, 87)));
}

TEST_F(ToolTest, ACropWithoutWidthOrHeightSaysCannotCropAndBeeps) {
    editor.tool = Tool::CROP;
    const HeadlessDesktop& desktop = headlessDesktop();
    drag(30, 30, 30, 30);  // one line printed, "Cannot crop" in white
    EXPECT_EQ(values(1, 1000, 250, 201, kWhite),
              values(desktop.beeps, desktop.lastBeepHz, desktop.lastBeepMs, cursorAt(),
                     screenPixel(1, 1)));
    drag(40, 30, 90, 30);  // a row but no height
    EXPECT_EQ(values(2, 301, Tool::CROP, 402),
              values(desktop.beeps, cursorAt(), editor.tool, editor.view.originX));
    EXPECT_TRUE(changed().empty());
}

TEST_F(ToolTest, ACropWaitsForItsReleaseInsideWhateverThePointerOrTheToolDoes) {
    editor.tool = Tool::CROP;
    drag(10, 10, 110, 60, false);
    headlessPressKey('1');
    frames(2);                    // read in one frame, acted on in the next
    pointAt(wx(250), wy(60), 1);  // outside, still held: the second corner stays
    leftUp();
    frames(2);
    EXPECT_EQ(values(200, 100, 0, 1), state());
    EXPECT_EQ(Tool::MARK, editor.tool);
    // The preview stays: dashes of four, white then black, along the bottom edge past its corner.
    for (int k = 1; k < 8; ++k) EXPECT_EQ(k < 4 ? kWhite : kBlack, shown(10 + k, 60)) << k;
    pointAt(wx(150), wy(90), 1);  // back inside, no new press
    EXPECT_EQ(values(100, 50, 0, 0), state());
    EXPECT_EQ(patternAt(10, 10), imagePixel(picture(), 0, 0));
}

TEST_F(ToolTest, APendingCensorIsPaintedWithTheCropsCornersOnTheCroppedCapture) {
    editor.tool = Tool::CENSOR;
    leftDown();
    pointAt(wx(60), wy(40), 1);
    editor.tool = Tool::CROP;  // as if "3" arrived while the button stays held
    pointAt(wx(2), wy(1), 1);  // the crop starts: both corners at (2, 1), which the censor shares
    pointAt(wx(12), wy(6), 1);
    leftUp();
    frames(1);
    ASSERT_EQ(values(10, 5, 0, 0), state());
    // The censor box (2, 1)-(12, 6), in the old capture's coordinates, lands on the new one.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(x >= 2 && y >= 1 ? kBlack : patternAt(x + 2, y + 1),
                      imagePixel(picture(), x, y))
                << x << "," << y;
}
