// The capture cycle through the headless window, desktop and clipboard.
#include "app/capture.h"
#include "../editor/editor_fixture.h"
#include "desktop/clipboard.h"
#include "desktop/clipboard_headless.h"

namespace {

class CaptureCycleTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        program.work = WorkArea{320, 240};
        program.buttons = buildButtonTable(240);
    }
    Program program;
};

}  // namespace

// An unreadable picture (which ones: the picture checks' tests) or a window that cannot open.
TEST_F(CaptureCycleTest, WhatCannotBeEditedOpensNothingAndCountsAsTaken) {
    for (bool windowFails : {false, true}) {
        copyImageToHeadlessClipboard(windowFails ? pictureBytes(FIF_PNG, 40, 30)
                                                 : std::vector<unsigned char>(64, 'x'));
        if (windowFails) headlessFailNextOpen();
        std::uintptr_t handle = pollClipboardBitmap();
        EXPECT_FALSE(runCaptureCycle(program, handle));
        EXPECT_EQ(handle, program.lastClipboardBitmap);
        EXPECT_EQ(0, getWindowHandle()) << "back to waiting without a window";
        EXPECT_EQ(1, screenWidth());
        EXPECT_FALSE(fs::exists(kCapturePng));
        EXPECT_EQ("Glimmerix Idle", windowTitle());
    }
}

// The editor opens from the picture in memory, also when its capture-time file cannot be written.
TEST_F(CaptureCycleTest, OpeningShowsTheWorkAreaWindowWithTheCapturePlaced) {
    for (bool blocked : {false, true}) {
        if (blocked) fs::remove(kCapturePng), fs::create_directory(kCapturePng);
        copyImageToHeadlessClipboard(pictureBytes(FIF_PNG, 40, 30));
        Capture capture(readClipboardPicture(pollClipboardBitmap()));
        View view;
        ASSERT_TRUE(openEditorWindow(program, capture, view));
        EXPECT_EQ(values(320, 240, 160 - 20 + 2, 120 - 15 - 16, 40, getWindowHandle()),
                  values(screenWidth(), screenHeight(), view.originX, view.originY,
                         capture.picture()->width, headlessDesktop().lastShownWindow));
        EXPECT_EQ(!blocked, capture.finishWrite());
    }
}
