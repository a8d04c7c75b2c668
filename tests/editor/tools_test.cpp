#include <set>
#include <utility>

#include "editor_fixture.h"

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// Every pixel of `image` that no longer holds its own pattern colour.
std::set<std::pair<int, int>> changedPixels(const Image* image) {
    std::set<std::pair<int, int>> changed;
    for (int y = 0; y < int(image->height); ++y)
        for (int x = 0; x < int(image->width); ++x)
            if (imagePixel(image, x, y) != patternAt(x, y)) changed.insert({x, y});
    return changed;
}

std::set<std::pair<int, int>> rectangle(int x1, int y1, int x2, int y2) {
    std::set<std::pair<int, int>> points;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) points.insert({x, y});
    return points;
}

// Does the console show anything but black in text row `row` (counted from 1), left part?
bool textRowPainted(int row) {
    for (int y = (row - 1) * 8; y < row * 8; ++y)
        for (int x = 0; x < 11 * 8; ++x)
            if (screenPixel(x, y) == 0xFFFFFFFFu) return true;
    return false;
}

}  // namespace

// The 200 x 100 test capture stands at (402, 84) in the 1000 x 300 window.
class ToolTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        show(patternedImage(200, 100));
    }
    // Drags with the left button from image point a to image point b, one frame per step, and
    // releases at b.
    void drag(int ax, int ay, int bx, int by) {
        pointAt(wx(ax), wy(ay));
        leftDown();
        frames(1);
        pointAt(wx(bx), wy(by));
        frames(1);
        leftUp();
        frames(1);
    }
};

TEST_F(ToolTest, MarkMovesAThreeByThreeRedPenFromThePreviousPosition) {
    pointAt(wx(10), wy(10));
    frames(1);
    leftDown();
    pointAt(wx(30), wy(10));
    frames(1);
    EXPECT_EQ(rectangle(9, 9, 31, 11), changedPixels(editor.capture));
    EXPECT_EQ(kRed, imagePixel(editor.capture, 20, 10));
    EXPECT_EQ(kRed, screenPixel(wx(20), wy(11))) << "the stroke shows in the same frame";
    EXPECT_EQ(patternAt(20, 12), screenPixel(wx(20), wy(12)));
}

TEST_F(ToolTest, TheFirstStrokeOfTheLoopStartsAtTheWindowCorner) {
    leftDown();
    pointAt(wx(10), wy(10));
    frames(1);
    EXPECT_EQ(kRed, imagePixel(editor.capture, 10, 10));
    // The segment from window (0, 0) enters the capture through its left edge.
    bool enteredFromTheLeft = false;
    for (int y = 0; y < 100; ++y) enteredFromTheLeft |= imagePixel(editor.capture, 0, y) == kRed;
    EXPECT_TRUE(enteredFromTheLeft);
}

TEST_F(ToolTest, MarkOutsideTheImageAreaDrawsNothing) {
    pointAt(wx(-5), wy(10));
    frames(1);
    leftDown();
    pointAt(wx(-2), wy(10));
    frames(1);
    EXPECT_TRUE(changedPixels(editor.capture).empty());
}

TEST_F(ToolTest, ACensorClickWithoutMovingPaintsOneBlackPixel) {
    editor.tool = Tool::CENSOR;
    pointAt(wx(50), wy(20));
    leftDown();
    frames(1);
    EXPECT_TRUE(editor.drag.censorDrag);
    EXPECT_TRUE(changedPixels(editor.capture).empty()) << "only the preview until release";
    EXPECT_EQ(kBlack, screenPixel(wx(50), wy(20)));
    leftUp();
    frames(1);
    EXPECT_FALSE(editor.drag.censorDrag);
    EXPECT_EQ(rectangle(50, 20, 50, 20), changedPixels(editor.capture));
    EXPECT_EQ(kBlack, imagePixel(editor.capture, 50, 20));
}

TEST_F(ToolTest, ACensorBoxCoversBothCornersInEitherDirection) {
    editor.tool = Tool::CENSOR;
    drag(60, 40, 20, 30);
    EXPECT_EQ(rectangle(20, 30, 60, 40), changedPixels(editor.capture));
}

TEST_F(ToolTest, ACensorStaysPendingWhileThePointerIsUnavailable) {
    editor.tool = Tool::CENSOR;
    pointAt(wx(5), wy(5));
    leftDown();
    frames(1);
    pointAt(wx(8), wy(6));
    frames(1);
    leftUp();
    headlessSetActive(false);  // every button bit reads as set now
    frames(2);
    EXPECT_TRUE(editor.drag.censorDrag);
    EXPECT_TRUE(changedPixels(editor.capture).empty());
    headlessSetActive(true);
    pointAt(900, 10);  // far outside the image: a censor completes anyway
    frames(1);
    EXPECT_EQ(rectangle(5, 5, 8, 6), changedPixels(editor.capture));
}

TEST_F(ToolTest, CropFromEitherCornerKeepsColumnsTenTo109AndRowsTenTo59) {
    for (bool reversed : {false, true}) {
        show(patternedImage(200, 100));
        editor.tool = Tool::CROP;
        if (reversed)
            drag(110, 60, 10, 10);
        else
            drag(10, 10, 110, 60);
        ASSERT_EQ(100u, editor.capture->width) << reversed;
        ASSERT_EQ(50u, editor.capture->height) << reversed;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x)
                ASSERT_EQ(patternAt(x + 10, y + 10), imagePixel(editor.capture, x, y))
                    << x << "," << y << (reversed ? " reversed" : "");
        EXPECT_FALSE(editor.drag.cropDrag);
        EXPECT_EQ(Tool::CROP, editor.tool) << "the tool stays CROP";
        EXPECT_EQ(std::make_pair(10, 110), std::make_pair(editor.drag.x1, editor.drag.x2));
        EXPECT_EQ(std::make_pair(10, 60), std::make_pair(editor.drag.y1, editor.drag.y2));
    }
}

TEST_F(ToolTest, ACropClearsTheWindowAndPlacesTheSmallerCaptureAnew) {
    editor.tool = Tool::CROP;
    drag(10, 10, 110, 60);
    EXPECT_EQ(452, editor.view.originX);  // floor(500 - 50) + 2
    EXPECT_EQ(109, editor.view.originY);  // 150 - 25 - 16
    EXPECT_EQ(patternAt(10, 10), screenPixel(452, 109));
    // Where the old capture was, the backdrop shows again.
    EXPECT_EQ(0xFF808080u, screenPixel(403, 86));
    EXPECT_EQ(0xFF000000u, screenPixel(403, 87));
}

TEST_F(ToolTest, ACropWithoutWidthOrHeightSaysCannotCropAndBeeps) {
    editor.tool = Tool::CROP;
    pointAt(wx(30), wy(30));
    leftDown();
    frames(1);
    leftUp();
    frames(1);
    EXPECT_EQ(1, headlessDesktop().beeps);
    EXPECT_EQ(1000, headlessDesktop().lastBeepHz);
    EXPECT_EQ(250, headlessDesktop().lastBeepMs);
    EXPECT_TRUE(textRowPainted(1));
    EXPECT_FALSE(textRowPainted(2));
    int row = 0, column = 0;
    textCursor(&row, &column);
    EXPECT_EQ(2, row);
    EXPECT_EQ(1, column);

    drag(40, 30, 90, 30);  // a row but no height
    EXPECT_EQ(2, headlessDesktop().beeps);
    EXPECT_TRUE(textRowPainted(2));
    textCursor(&row, &column);
    EXPECT_EQ(3, row);

    EXPECT_EQ(200u, editor.capture->width);
    EXPECT_TRUE(changedPixels(editor.capture).empty());
    EXPECT_EQ(Tool::CROP, editor.tool);
    EXPECT_EQ(402, editor.view.originX);
}

TEST_F(ToolTest, ACropReleasedOutsideWaitsAndCompletesWhenThePointerReturns) {
    editor.tool = Tool::CROP;
    pointAt(wx(10), wy(10));
    leftDown();
    frames(1);
    pointAt(wx(110), wy(60));
    frames(1);
    pointAt(wx(250), wy(60));  // outside, still held: the second corner stays
    frames(1);
    leftUp();
    frames(2);
    EXPECT_TRUE(editor.drag.cropDrag);
    EXPECT_EQ(200u, editor.capture->width);
    // The preview stays: white under black dashes, four pixels each, along the bottom edge (its
    // corner pixel belongs to the left edge's dashes as well, so it is left out here).
    for (int k = 1; k < 4; ++k) EXPECT_EQ(kWhite, screenPixel(wx(10) + k, wy(60))) << k;
    for (int k = 4; k < 8; ++k) EXPECT_EQ(kBlack, screenPixel(wx(10) + k, wy(60))) << k;

    pointAt(wx(150), wy(90));  // back inside, no new press
    frames(1);
    EXPECT_FALSE(editor.drag.cropDrag);
    EXPECT_EQ(100u, editor.capture->width);
    EXPECT_EQ(50u, editor.capture->height);
    EXPECT_EQ(patternAt(10, 10), imagePixel(editor.capture, 0, 0));
}

TEST_F(ToolTest, ChangingTheToolDuringACropDoesNotEndIt) {
    editor.tool = Tool::CROP;
    pointAt(wx(10), wy(10));
    leftDown();
    frames(1);
    pointAt(wx(110), wy(60));
    frames(1);
    headlessPressKey('1');
    frames(2);  // read in one frame, acted on in the next
    EXPECT_EQ(Tool::MARK, editor.tool);
    EXPECT_TRUE(editor.drag.cropDrag);
    leftUp();
    frames(1);
    EXPECT_EQ(100u, editor.capture->width);
    EXPECT_EQ(50u, editor.capture->height);
}

TEST_F(ToolTest, APendingCensorIsPaintedWithTheCropsCornersOnTheCroppedCapture) {
    editor.tool = Tool::CENSOR;
    pointAt(wx(60), wy(40));
    leftDown();
    frames(1);
    editor.tool = Tool::CROP;  // as if "3" arrived while the button stays held
    pointAt(wx(2), wy(1));
    frames(1);  // the crop starts: both corners at (2, 1), which the censor shares
    pointAt(wx(12), wy(6));
    frames(1);
    leftUp();
    frames(1);
    ASSERT_EQ(10u, editor.capture->width);
    ASSERT_EQ(5u, editor.capture->height);
    EXPECT_FALSE(editor.drag.censorDrag);
    // The censor box (2, 1)-(12, 6), in the old capture's coordinates, lands on the new one.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) {
            bool boxed = x >= 2 && y >= 1;
            EXPECT_EQ(boxed ? kBlack : patternAt(x + 2, y + 1), imagePixel(editor.capture, x, y))
                << x << "," << y;
        }
}

TEST_F(ToolTest, TheCensorPreviewIsDrawnAtTheMappedCorners) {
    editor.tool = Tool::CENSOR;
    pointAt(wx(10), wy(10));
    leftDown();
    frames(1);
    pointAt(wx(20), wy(15));
    frames(1);
    EXPECT_EQ(kBlack, screenPixel(wx(10), wy(10)));
    EXPECT_EQ(kBlack, screenPixel(wx(20), wy(15)));
    EXPECT_EQ(patternAt(21, 15), screenPixel(wx(21), wy(15)));
    EXPECT_EQ(patternAt(10, 9), screenPixel(wx(10), wy(9)));
}
