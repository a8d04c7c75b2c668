#include <string>

#include "editor_fixture.h"
#include "image/image.h"

namespace {

constexpr std::uint32_t kGrey = 0xFFC0C0C0;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kDarkGrey = 0xFF404040;
constexpr std::uint32_t kRed = 0xFFFF0000;

enum ButtonIndex { UPLOAD, QUIT, HIDE, MARK_BUTTON, CENSOR_BUTTON, CROP_BUTTON, REVERT };

}  // namespace

class LoopTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        show(patternedImage(200, 100));
    }
    const MenuButton& button(int index) const { return program.buttons[std::size_t(index)]; }
    // A point on the button's face clear of edges and caption.
    std::uint32_t face(int index) const {
        return screenPixel(button(index).x + 2, button(index).y + 2);
    }
    void pointAtButton(int index) {
        pointAt(button(index).x + button(index).width / 2, button(index).y + 4);
    }
};

TEST_F(LoopTest, StartSelectsMarkDrainsKeysAndClearsTheDrags) {
    editor.tool = Tool::CROP;
    editor.drag = DragState{1, 2, 3, 4, true, true};
    editor.previousX = 50;
    program.lastKey = "q";
    headlessPressKey('q');
    headlessPressKey('u');
    startEditor(program, editor);
    EXPECT_EQ(Tool::MARK, editor.tool);
    EXPECT_EQ("", program.lastKey);
    EXPECT_EQ("", readKey());
    EXPECT_EQ(0, editor.previousX);
    EXPECT_EQ(0, editor.previousY);
    EXPECT_FALSE(editor.drag.censorDrag);
    EXPECT_FALSE(editor.drag.cropDrag);
    EXPECT_EQ(0, editor.drag.x1 | editor.drag.y1 | editor.drag.x2 | editor.drag.y2);
}

TEST_F(LoopTest, ToolKeysActOneFrameAfterTheyAreRead) {
    headlessPressKey('2');
    frames(1);
    EXPECT_EQ("2", program.lastKey);
    EXPECT_EQ(Tool::MARK, editor.tool);
    frames(1);
    EXPECT_EQ(Tool::CENSOR, editor.tool);
    EXPECT_EQ("", program.lastKey);
    headlessPressKey('3');
    frames(2);
    EXPECT_EQ(Tool::CROP, editor.tool);
    headlessPressKey('1');
    frames(2);
    EXPECT_EQ(Tool::MARK, editor.tool);
}

TEST_F(LoopTest, AnyOtherKeyEndsTheLoopAtOnceAndStaysAsTyped) {
    for (int code : {'U', ' ', 'x', 'Q'}) {
        startEditor(program, editor);
        headlessPressKey(code);
        frames(1);
        EXPECT_FALSE(frame());
        EXPECT_EQ(std::string(1, char(code)), program.lastKey);
    }
}

TEST_F(LoopTest, AKeyWithoutACharacterEndsTheLoop) {
    headlessPressKey(72 << 8);  // cursor up
    frames(1);
    EXPECT_EQ(2u, program.lastKey.size());
    EXPECT_FALSE(frame());
}

TEST_F(LoopTest, TheEndingFrameDoesNothingElse) {
    editor.tool = Tool::MARK;
    pointAt(wx(10), wy(10));
    frames(1);
    program.lastKey = "u";
    leftDown();
    pointAt(wx(40), wy(10));
    headlessPressKey('1');
    EXPECT_FALSE(frame());
    EXPECT_EQ("u", program.lastKey);
    EXPECT_EQ("1", readKey()) << "the key stays unread";
    EXPECT_EQ(patternAt(30, 10), imagePixel(editor.capture, 30, 10)) << "no stroke drawn";
}

TEST_F(LoopTest, MarkIsGreenAtTheStartAndTheOthersGrey) {
    frames(1);
    EXPECT_EQ(kGreen, face(MARK_BUTTON));
    for (int i : {UPLOAD, QUIT, HIDE, CENSOR_BUTTON, CROP_BUTTON, REVERT})
        EXPECT_EQ(kGrey, face(i));
    const MenuButton& mark = button(MARK_BUTTON);
    EXPECT_EQ(kBlack, screenPixel(mark.x - 1, mark.y - 1));
    EXPECT_EQ(kBlack, screenPixel(mark.x + mark.width + 1, mark.y + mark.height + 1));
    EXPECT_EQ(kWhite, screenPixel(mark.x + 5, mark.y));
    EXPECT_EQ(kWhite, screenPixel(mark.x, mark.y + 5));
    EXPECT_EQ(kDarkGrey, screenPixel(mark.x + 5, mark.y + mark.height));
    EXPECT_EQ(kDarkGrey, screenPixel(mark.x + mark.width, mark.y + 5));
    // The bottom-right corner belongs to both dark edges; the other two corners to no edge.
    EXPECT_EQ(kDarkGrey, screenPixel(mark.x + mark.width, mark.y + mark.height));
    EXPECT_EQ(kGreen, screenPixel(mark.x + mark.width, mark.y));
    EXPECT_EQ(kGreen, screenPixel(mark.x, mark.y + mark.height));
}

TEST_F(LoopTest, CaptionsAreBlackTextAtTheirComputedPoints) {
    frames(1);
    // "MARK (1)" starts at (416, H - 24); its "M" has set pixels in its first column.
    const int top = kHeight - 24;
    int blackInCell = 0, blackBefore = 0;
    for (int y = top; y < top + 8; ++y) {
        blackInCell += screenPixel(416, y) == kBlack;
        blackBefore += screenPixel(415, y) == kBlack;
    }
    EXPECT_GT(blackInCell, 0);
    EXPECT_EQ(0, blackBefore);
}

TEST_F(LoopTest, TheButtonUnderThePointerTurnsWhiteEvenWhenItIsTheCurrentTool) {
    pointAtButton(MARK_BUTTON);
    frames(1);
    EXPECT_EQ(kWhite, face(MARK_BUTTON));
    pointAtButton(CROP_BUTTON);
    frames(1);
    EXPECT_EQ(kGreen, face(MARK_BUTTON));
    EXPECT_EQ(kWhite, face(CROP_BUTTON));
    EXPECT_EQ("", program.lastKey) << "hovering is no click";
}

TEST_F(LoopTest, AButtonsRightAndBottomEdgesCountButTheGapDoesNot) {
    const MenuButton& mark = button(MARK_BUTTON);
    EXPECT_TRUE(pointerOverButton(mark, mark.x + mark.width, mark.y + mark.height));
    EXPECT_TRUE(pointerOverButton(mark, mark.x, mark.y));
    EXPECT_FALSE(pointerOverButton(mark, mark.x - 1, mark.y));
    EXPECT_FALSE(pointerOverButton(mark, mark.x, mark.y + mark.height + 1));
    pointAt(mark.x + mark.width + 1, mark.y + 10);  // between MARK and CENSOR
    leftDown();
    frames(1);
    EXPECT_EQ("", program.lastKey);
}

TEST_F(LoopTest, AnUnavailablePointerIsOverNoButton) {
    leftDown();
    pointAtButton(UPLOAD);
    headlessSetInside(false);
    frames(2);
    EXPECT_EQ(kGrey, face(UPLOAD));
    EXPECT_EQ("", program.lastKey);
}

TEST_F(LoopTest, AClickActsOneFrameLate) {
    pointAtButton(CROP_BUTTON);
    leftDown();
    frames(1);
    EXPECT_EQ("3", program.lastKey);
    EXPECT_EQ(Tool::MARK, editor.tool);
    leftUp();
    frames(1);
    EXPECT_EQ(Tool::CROP, editor.tool);
    pointAt(10, 10);
    frames(1);
    EXPECT_EQ(kGreen, face(CROP_BUTTON)) << "green once the pointer has left it";

    pointAtButton(UPLOAD);
    leftDown();
    frames(1);
    EXPECT_FALSE(frame());
    EXPECT_EQ("u", program.lastKey);
}

TEST_F(LoopTest, AClickOverwritesAKeyReadInTheSameFrame) {
    headlessPressKey('2');
    pointAtButton(HIDE);
    leftDown();
    frames(1);
    EXPECT_EQ(" ", program.lastKey);
    EXPECT_FALSE(frame());
}

TEST_F(LoopTest, TheLoopReturnsTheEditedCaptureAndTheEndingKey) {
    pointAtButton(QUIT);
    leftDown();
    Image* capture = editor.capture;
    editor.capture = nullptr;
    View view = editor.view;
    headlessPressKey('x');  // drained at the start, so it does not end the loop first
    runEditorLoop(program, capture, view);
    editor.capture = capture;
    EXPECT_EQ("q", program.lastKey);
    EXPECT_EQ(402, view.originX);
    EXPECT_EQ(602, view.right) << "the image area of the frames that ran";
}

TEST_F(LoopTest, RevertReloadsTheCaptureFileAndPlacesIt) {
    ScopedWorkingDirectory dir("revert");
    Image* taken = patternedImage(300, 120);
    saveImageFile(taken, "screenshot.png", kFormatPng);
    destroyImage(taken);

    editor.tool = Tool::CENSOR;
    editor.drag = DragState{1, 2, 3, 4, false, true};
    headlessPressKey('R');
    frames(2);
    ASSERT_EQ(300u, editor.capture->width);
    ASSERT_EQ(120u, editor.capture->height);
    EXPECT_EQ(patternAt(123, 45), imagePixel(editor.capture, 123, 45));
    EXPECT_EQ(352, editor.view.originX);  // floor(500 - 150) + 2
    EXPECT_EQ(74, editor.view.originY);   // 150 - 60 - 16
    EXPECT_EQ(Tool::CENSOR, editor.tool);
    EXPECT_TRUE(editor.drag.cropDrag);
    EXPECT_EQ(3, editor.drag.x2);
}

TEST_F(LoopTest, RevertUnderAHeldButtonRevertsOncePerFrame) {
    ScopedWorkingDirectory dir("revert-held");
    Image* taken = patternedImage(200, 100);
    saveImageFile(taken, "screenshot.png", kFormatPng);
    destroyImage(taken);

    pointAtButton(REVERT);
    leftDown();
    frames(1);
    EXPECT_EQ("R", program.lastKey);
    for (int i = 0; i < 3; ++i) {
        imageRow(editor.capture, 5)[5] = kRed;  // an edit the next frame's revert undoes
        frames(1);
        EXPECT_EQ(patternAt(5, 5), imagePixel(editor.capture, 5, 5)) << "frame " << i;
        EXPECT_EQ("R", program.lastKey) << "the held button repeats the key";
    }
}

TEST_F(LoopTest, RevertWithoutACaptureFileKeepsTheCurrentCapture) {
    ScopedWorkingDirectory dir("revert-missing");
    Image* before = editor.capture;
    imageRow(before, 7)[9] = kRed;
    editor.view.panX = 0;
    headlessPressKey('r');
    frames(2);
    EXPECT_EQ(before, editor.capture);
    EXPECT_EQ(200u, editor.capture->width);
    EXPECT_EQ(kRed, imagePixel(editor.capture, 9, 7)) << "edits are kept";
    EXPECT_EQ(patternAt(9, 8), imagePixel(editor.capture, 9, 8));
    EXPECT_EQ(kRed, screenPixel(wx(9), wy(7))) << "and still shown";
    EXPECT_TRUE(frame()) << "the editor goes on";
}
