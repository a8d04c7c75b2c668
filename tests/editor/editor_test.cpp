#include "editor_fixture.h"

constexpr std::uint32_t kDarkGrey = 0xFF404040;
enum ButtonIndex { UPLOAD, QUIT, HIDE, MARK_BUTTON, CENSOR_BUTTON, CROP_BUTTON, REVERT };

class LoopTest : public EditorTest {
  protected:
    const MenuButton& button(int index) const { return program.buttons[std::size_t(index)]; }
    // A point on the button's face clear of edges and caption.
    std::uint32_t face(int i) const { return screenPixel(button(i).x + 2, button(i).y + 2); }
    void pointAtButton(int i, int n = 0) {
        pointAt(button(i).x + button(i).width / 2, button(i).y + 4, n);
    }
    void clickButton(int index) {
        leftDown();
        pointAtButton(index, 1);
    }
};

TEST_F(LoopTest, StartSelectsMarkDrainsKeysAndClearsTheDrags) {
    editor.tool = Tool::CROP;
    editor.drag = DragState{1, 2, 3, 4, true, true};
    editor.previousX = 50;
    program.lastKey = "q";
    headlessPressKey('q');
    startEditor(program, editor);
    EXPECT_EQ(Tool::MARK, editor.tool);
    EXPECT_EQ("", program.lastKey + readKey());
    const DragState& d = editor.drag;
    EXPECT_EQ(values(0, 0, 0, 0, 0, 0, 0, 0), values(editor.previousX, editor.previousY, d.x1, d.y1,
                                                     d.x2, d.y2, d.censorDrag, d.cropDrag));
}

TEST_F(LoopTest, ToolKeysActOneFrameAfterTheyAreReadAndOtherKeysEndTheLoopDoingNothingElse) {
    struct ToolKey {
        int key;
        Tool tool;
    };
    for (ToolKey k :
         {ToolKey{'2', Tool::CENSOR}, ToolKey{'3', Tool::CROP}, ToolKey{'1', Tool::MARK}}) {
        Tool before = editor.tool;
        headlessPressKey(k.key);
        frames(1);
        EXPECT_EQ(before, editor.tool) << char(k.key);
        frames(1);
        EXPECT_EQ(values(k.tool, 0), values(editor.tool, program.lastKey.size())) << char(k.key);
    }
    for (int code : {int{'U'}, int{' '}, int{'x'}, int{'Q'}, 72 << 8}) {  // 72 << 8: cursor up
        startEditor(program, editor);
        headlessPressKey(code);
        frames(1);
        EXPECT_FALSE(frame());
        EXPECT_EQ(code < 256 ? std::string(1, char(code)) : "\xffH", program.lastKey);
    }
    startEditor(program, editor);
    pointAt(wx(10), wy(10), 1);
    program.lastKey = "u";
    leftDown();
    pointAt(wx(40), wy(10));
    headlessPressKey('1');
    EXPECT_FALSE(frame());
    EXPECT_EQ("u1", program.lastKey + readKey()) << "the key stays unread";
    EXPECT_EQ(patternAt(30, 10), imagePixel(picture(), 30, 10)) << "no stroke drawn";
}

TEST_F(LoopTest, TheMenuBarStandsAtItsLayoutWithMarkGreenAndBevelledEdges) {
    frames(1);
    const int xs[] = {8, 106, 204, 376, 518, 660, 802};
    for (int i = UPLOAD; i <= REVERT; ++i) {
        const MenuButton& b = button(i);
        EXPECT_EQ(values(xs[i], kHeight - 38, i < HIDE ? 96 : 140, 32),
                  values(b.x, b.y, b.width, b.height));
        EXPECT_EQ(values(i == MARK_BUTTON ? kGreen : kGrey, kBlack),
                  values(face(i), screenPixel(b.x - 1, b.y + 5)))
            << "face and the gap left of " << i;
    }
    // Light top and left edges; dark bottom and right ones and their corner; other corners bare.
    const int x = button(MARK_BUTTON).x, y = kHeight - 38, r = x + 140, b = y + 32;
    EXPECT_EQ(
        values(kWhite, kWhite, kDarkGrey, kDarkGrey, kDarkGrey, kGreen, kGreen),
        values(screenPixel(x + 5, y), screenPixel(x, y + 5), screenPixel(x + 5, b),
               screenPixel(r, y + 5), screenPixel(r, b), screenPixel(r, y), screenPixel(x, b)));
    for (int r = 0; r < 8; ++r)  // the caption "MARK (1)" starts at (416, H - 24)
        EXPECT_EQ(values(kGreen, glyphRow('M', r) & 0x80 ? kBlack : kGreen),
                  values(screenPixel(415, kHeight - 24 + r), screenPixel(416, kHeight - 24 + r)));
}

TEST_F(LoopTest, TheButtonUnderThePointerTurnsWhiteButNotOverTheGapOrWhenUnavailable) {
    pointAtButton(MARK_BUTTON, 1);
    EXPECT_EQ(kWhite, face(MARK_BUTTON));
    pointAtButton(CROP_BUTTON, 1);
    EXPECT_EQ(values(kGreen, kWhite), values(face(MARK_BUTTON), face(CROP_BUTTON)));
    EXPECT_EQ("", program.lastKey) << "hovering is no click";

    const MenuButton& m = button(MARK_BUTTON);
    auto over = [&m](int dx, int dy) { return pointerOverButton(m, m.x + dx, m.y + dy); };
    EXPECT_EQ(values(1, 1, 0, 0, 0, 0),
              values(over(0, 0), over(m.width, m.height), over(-1, 0), over(0, -1),
                     over(m.width + 1, 0), over(0, m.height + 1)));
    leftDown();
    pointAtButton(UPLOAD);
    headlessSetInside(false);
    frames(2);
    EXPECT_EQ(kGrey, face(UPLOAD));
    EXPECT_EQ("", program.lastKey);
}

TEST_F(LoopTest, AClickActsOneFrameLateAndOverwritesAKeyReadInTheSameFrame) {
    clickButton(CROP_BUTTON);
    EXPECT_EQ(values('3', Tool::MARK), values(program.lastKey[0], editor.tool));
    leftUp();
    frames(1);
    EXPECT_EQ(Tool::CROP, editor.tool);
    pointAt(10, 10, 1);
    EXPECT_EQ(kGreen, face(CROP_BUTTON)) << "green once the pointer has left it";
    headlessPressKey('2');
    clickButton(HIDE);
    EXPECT_EQ(" ", program.lastKey);
    EXPECT_FALSE(frame());
}

TEST_F(LoopTest, RevertBringsBackThePictureAsTakenOncePerFrameOrKeepsTheCaptureWithoutIt) {
    Image* before = picture();
    imageRow(before, 7)[9] = kRed;
    headlessPressKey('r');
    frames(2);
    EXPECT_EQ(before, picture()) << "nothing to go back to: the editor goes on as it was";
    EXPECT_EQ(
        values(kRed, patternAt(9, 8), kRed),
        values(imagePixel(before, 9, 7), imagePixel(before, 9, 8), screenPixel(wx(9), wy(7))));

    // A capture taken from the clipboard with these pixels, whose file cannot be written.
    saveImageFile(ImagePtr(patternedImage(300, 120)).get(), "taken.png", kFormatPng);
    fs::create_directory(kCapturePng);
    owned = std::make_unique<Capture>(Picture(FreeImage_Load(FIF_PNG, "taken.png")));
    ASSERT_TRUE(owned->makeWorkingPicture());
    show(patternedImage(200, 100));  // edited down to another size, as a crop does
    editor.tool = Tool::CENSOR;
    editor.drag = DragState{1, 2, 3, 4, false, true};
    clickButton(REVERT);
    for (int i = 0; i < 3; ++i) {  // the held button repeats the key, and each frame reverts
        EXPECT_EQ("R", program.lastKey);
        imageRow(picture(), 5)[5] = kRed;
        frames(1);
        ASSERT_EQ(values(300, 120), values(picture()->width, picture()->height));
        EXPECT_EQ(patternAt(5, 5), imagePixel(picture(), 5, 5)) << "frame " << i;
    }
    EXPECT_EQ(patternAt(123, 45), imagePixel(picture(), 123, 45));
    // Placed anew: floor(500 - 150) + 2 across, 150 - 60 - 16 down; tool and drags stay.
    EXPECT_EQ(values(352, 74), values(editor.view.originX, editor.view.originY));
    EXPECT_EQ(values(Tool::CENSOR, 1, 3),
              values(editor.tool, editor.drag.cropDrag, editor.drag.x2));
    EXPECT_FALSE(owned->finishWrite());  // the file never came, and REVERT did without it
}

// The frame reading the ending key starts the saves after its own tools: the files hold its crop.
TEST_F(LoopTest, TheFrameThatReadsTheEndingKeyStartsTheSavesAfterItsTools) {
    editor.tool = Tool::CROP;
    leftDown();
    pointAt(wx(10), wy(10), 1);
    pointAt(wx(50), wy(30), 1);
    leftUp();
    headlessPressKey('u');
    frames(1);
    const std::vector<long long> cropped = values(picture()->width, picture()->height);
    ASSERT_LT(cropped[0], 200);
    owned->release();  // waits for writes under way and starts none
    ImagePtr saved(loadImageFile(kCapturePng));
    ASSERT_TRUE(saved && fs::exists(kCaptureJpeg));
    EXPECT_EQ(values(cropped[0], cropped[1], patternAt(10, 10)),
              values(saved->width, saved->height, imagePixel(saved.get(), 0, 0)));
}
