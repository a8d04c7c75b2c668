#include "editor_fixture.h"

namespace {

const WorkArea kDesktop{1888, 1016};

View placed(const WorkArea& work, int width, int height) {
    Image* capture = createImage(width, height, kMagenta);
    EXPECT_NE(nullptr, capture);
    View view;
    view.panX = 7;  // placing must reset any earlier pan
    view.panY = 9;
    if (capture) placeCapture(view, work, capture);
    destroyImage(capture);
    return view;
}

}  // namespace

TEST_F(EditorTest, CentredOriginRoundsTheRealDifferenceAcrossAndEachHalfDown) {
    View view = placed(kDesktop, 1001, 601);
    EXPECT_EQ(445, view.originX);  // floor(944 - 500.5) + 2
    EXPECT_EQ(192, view.originY);  // 508 - 300 - 16
    EXPECT_EQ(0, view.panX);
    EXPECT_EQ(0, view.panY);
}

TEST_F(EditorTest, ACaptureOfExactlyTheWindowSizeIsCentred) {
    View view = placed(kDesktop, 1888, 1016);
    EXPECT_EQ(2, view.originX);
    EXPECT_EQ(-16, view.originY);
}

TEST_F(EditorTest, OnePixelLargerEitherWayTakesTheLargerLayout) {
    for (auto size : {std::pair<int, int>{1889, 1016}, {1888, 1017}, {10, 1017}, {1889, 10}}) {
        View view = placed(kDesktop, size.first, size.second);
        EXPECT_EQ(4, view.originX) << size.first << " x " << size.second;
        EXPECT_EQ(4, view.originY) << size.first << " x " << size.second;
        EXPECT_EQ(0, view.panX);
        EXPECT_EQ(0, view.panY);
    }
}

TEST_F(EditorTest, ImageAreaIsTheCaptureCutToTheVisibleArea) {
    show(patternedImage(200, 100));
    clipImageArea(editor.view, program.work, editor.capture);
    EXPECT_EQ(402, editor.view.originX);
    EXPECT_EQ(84, editor.view.originY);
    EXPECT_EQ(602, editor.view.right);
    EXPECT_EQ(184, editor.view.bottom);
    EXPECT_TRUE(inImageArea(editor.view, 402, 84));
    EXPECT_TRUE(inImageArea(editor.view, 601, 183));
    EXPECT_FALSE(inImageArea(editor.view, 602, 100));
    EXPECT_FALSE(inImageArea(editor.view, 500, 184));
    EXPECT_FALSE(inImageArea(editor.view, 401, 100));
    EXPECT_FALSE(inImageArea(editor.view, 500, 83));

    show(patternedImage(1200, 500));
    clipImageArea(editor.view, program.work, editor.capture);
    EXPECT_EQ(kWidth - 5, editor.view.right);
    EXPECT_EQ(kHeight - 44, editor.view.bottom);
    EXPECT_FALSE(inImageArea(editor.view, -1, -1)) << "an unavailable pointer is never inside";
}

TEST_F(EditorTest, TheLargerLayoutFillsTheVisibleAreaFromThePanOffsets) {
    show(patternedImage(1200, 500));
    frames(1);
    EXPECT_EQ(patternAt(0, 0), screenPixel(4, 4));
    // The last visible column and row are drawn although they lie outside the image area.
    EXPECT_EQ(patternAt(kWidth - 9, kHeight - 48), screenPixel(kWidth - 5, kHeight - 44));
    EXPECT_FALSE(inImageArea(editor.view, kWidth - 5, 100));
    EXPECT_FALSE(inImageArea(editor.view, 100, kHeight - 44));
    // Beyond the visible area the backdrop stays: grey on even rows, black on odd ones.
    EXPECT_EQ(0xFF808080u, screenPixel(kWidth - 4, 100));
    EXPECT_EQ(0xFF000000u, screenPixel(kWidth - 4, 101));
    EXPECT_EQ(0xFF000000u, screenPixel(100, kHeight - 43));
}

TEST_F(EditorTest, ACentredCaptureIsDrawnWholeAndTheWindowClipsIt) {
    show(patternedImage(kWidth, kHeight));
    EXPECT_EQ(2, editor.view.originX);
    EXPECT_EQ(-16, editor.view.originY);
    frames(1);
    EXPECT_EQ(patternAt(0, 16), screenPixel(2, 0));
    EXPECT_EQ(patternAt(kWidth - 3, kHeight - 1), screenPixel(kWidth - 1, kHeight - 17));
    // Its lower rows cover the menu bar, which the frame drew first.
    EXPECT_EQ(patternAt(400, kHeight - 20 + 16), screenPixel(402, kHeight - 20));
}

TEST_F(EditorTest, DraggingLeftWithTheRightButtonShowsColumnsFurtherRight) {
    show(patternedImage(1200, 500));
    pointAt(500, 150);
    frames(1);
    rightDown();
    pointAt(490, 145);
    frames(1);
    EXPECT_EQ(10, editor.view.panX);
    EXPECT_EQ(5, editor.view.panY);
    EXPECT_EQ(patternAt(10, 5), screenPixel(4, 4));

    pointAt(495, 150);  // back right and down by 5: the view follows the hand
    frames(1);
    EXPECT_EQ(5, editor.view.panX);
    EXPECT_EQ(0, editor.view.panY);
}

TEST_F(EditorTest, PanStopsAtTheCapturesEdgesAndAtZero) {
    show(patternedImage(1200, 500));
    pointAt(900, 290);
    frames(1);
    rightDown();
    pointAt(10, 10);
    frames(1);
    EXPECT_EQ(1200 - kWidth + 8, editor.view.panX);
    EXPECT_EQ(500 - kHeight + 47, editor.view.panY);
    // The last column and row of the capture are then the last ones shown.
    EXPECT_EQ(patternAt(1199, 499), screenPixel(kWidth - 5, kHeight - 44));

    pointAt(900, 250);
    frames(1);
    pointAt(990, 290);
    frames(1);
    EXPECT_EQ(0, editor.view.panX);
    EXPECT_EQ(0, editor.view.panY);
}

TEST_F(EditorTest, AnAxisThatFitsTheVisibleAreaNeverPans) {
    show(patternedImage(300, 500));  // only too tall
    pointAt(200, 200);
    frames(1);
    rightDown();
    pointAt(100, 100);
    frames(1);
    EXPECT_EQ(0, editor.view.panX);
    EXPECT_EQ(100, editor.view.panY);
    EXPECT_EQ(patternAt(0, 100), screenPixel(4, 4));
}

TEST_F(EditorTest, PanNeedsTheRightButtonOverTheUnclippedCapture) {
    show(patternedImage(300, 500));
    pointAt(200, 200);
    frames(1);
    leftDown();  // the left button draws, it does not pan
    pointAt(190, 190);
    frames(1);
    leftUp();
    EXPECT_EQ(0, editor.view.panY);

    pointAt(600, 200);  // right of the 300-pixel-wide capture
    frames(1);
    rightDown();
    pointAt(600, 150);
    frames(1);
    EXPECT_EQ(0, editor.view.panY);

    // Over the menu bar's rows, but still over the capture's unclipped rectangle.
    rightUp();
    pointAt(100, 280);
    frames(1);
    rightDown();
    pointAt(100, 270);
    frames(1);
    EXPECT_EQ(10, editor.view.panY);
}

TEST_F(EditorTest, ACentredCaptureNeverPans) {
    show(patternedImage(200, 100));
    pointAt(500, 150);
    frames(1);
    rightDown();
    pointAt(450, 120);
    frames(1);
    EXPECT_EQ(0, editor.view.panX);
    EXPECT_EQ(0, editor.view.panY);
}

TEST_F(EditorTest, AnUnavailablePointerDoesNotPanAndIsTheNextFramesPreviousPosition) {
    show(patternedImage(1200, 500));
    rightDown();
    pointAt(500, 150);
    frames(1);
    headlessSetInside(false);
    frames(1);
    EXPECT_EQ(-1, editor.previousX);
    EXPECT_EQ(-1, editor.previousY);
    EXPECT_EQ(0, editor.view.panX) << "no pan while the pointer is away";
    headlessSetInside(true);
    pointAt(5, 4);
    frames(1);
    EXPECT_EQ(0, editor.view.panX) << "measured from (-1, -1): a move right, clamped at 0";
    pointAt(4, 4);
    frames(1);
    EXPECT_EQ(1, editor.view.panX);
}
