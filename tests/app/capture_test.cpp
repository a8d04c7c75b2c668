// The capture cycle through the headless window, desktop and clipboard: what opens, what is
// taken, what is left on disk, and when the program quits.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../editor/editor_fixture.h"
#include "app/capture.h"
#include "desktop/clipboard.h"
#include "desktop/clipboard_headless.h"
#include "desktop/desktop_headless.h"
#include "editor/menu.h"
#include "image/image.h"
#include "screen/screen.h"
#include "screen/window_headless.h"

namespace {

namespace fs = std::filesystem;

void drainKeys() {
    while (!readKey().empty()) {
    }
}

// Types `key` once the editor has had time to start (it drains keys at its start).
std::thread typeLater(int key) {
    return std::thread([key] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        headlessPressKey(key);
    });
}

class CaptureCycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
        drainKeys();
        program.work = WorkArea{320, 240};
        program.buttons = buildButtonTable(240);
        headlessClipboard() = HeadlessClipboard{};
    }
    void copyPicture() {
        ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
        Image* picture = createImage(40, 30, 0xFF0000FF, 0);
        saveImageFile(picture, "copied.png", kFormatPng);
        destroyImage(picture);
        ASSERT_TRUE(copyImageFileToHeadlessClipboard("copied.png"));
        fs::remove("copied.png");
    }
    ScopedWorkingDirectory directory{"capture"};
    Program program;
};

}  // namespace

TEST_F(CaptureCycleTest, AnUnreadableImageOpensNothingAndCountsAsTaken) {
    copyImageToHeadlessClipboard({'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    std::uintptr_t handle = pollClipboardBitmap();
    ASSERT_NE(0u, handle);
    EXPECT_FALSE(runCaptureCycle(program, handle));
    EXPECT_EQ(handle, program.lastClipboardBitmap);
    EXPECT_EQ(0, getWindowHandle()) << "back to waiting without a window";
    EXPECT_EQ(1, screenWidth());
    EXPECT_FALSE(fs::exists(kCapturePng));
    EXPECT_EQ("Glimmerix Idle", windowTitle());
}

TEST_F(CaptureCycleTest, AWindowThatCannotOpenLeavesNoFilesAndNoWindow) {
    copyPicture();
    std::uintptr_t handle = pollClipboardBitmap();
    headlessFailNextOpen();
    EXPECT_FALSE(runCaptureCycle(program, handle));
    EXPECT_EQ(handle, program.lastClipboardBitmap);
    EXPECT_EQ(0, getWindowHandle());
    EXPECT_FALSE(fs::exists(kCapturePng));
}

TEST_F(CaptureCycleTest, OpeningShowsTheWorkAreaWindowWithTheCapturePlaced) {
    copyPicture();
    ASSERT_EQ(1, writeCaptureFile(pollClipboardBitmap()));
    View view;
    Image* capture = openEditorWindow(program, view);
    ASSERT_NE(nullptr, capture);
    EXPECT_EQ(320, screenWidth());
    EXPECT_EQ(240, screenHeight());
    EXPECT_EQ(getWindowHandle(), headlessDesktop().lastShownWindow);
    EXPECT_EQ(160 - 20 + 2, view.originX);
    EXPECT_EQ(120 - 15 - 16, view.originY);
    EXPECT_EQ(40u, capture->width);
    destroyImage(capture);
}

TEST_F(CaptureCycleTest, HideSavesThenDeletesBothFilesAndReturnsToWaiting) {
    copyPicture();
    std::uintptr_t handle = pollClipboardBitmap();
    std::thread typist = typeLater(' ');
    EXPECT_FALSE(runCaptureCycle(program, handle));
    typist.join();
    EXPECT_EQ(" ", program.lastKey);
    EXPECT_FALSE(fs::exists(kCapturePng));
    EXPECT_FALSE(fs::exists(kCaptureJpeg));
    EXPECT_EQ(0, getWindowHandle());
    EXPECT_EQ("Glimmerix Idle", windowTitle());
}

TEST_F(CaptureCycleTest, UpperCaseQQuitsAfterDeletingBothFiles) {
    copyPicture();
    std::uintptr_t handle = pollClipboardBitmap();
    std::thread typist = typeLater('Q');
    EXPECT_TRUE(runCaptureCycle(program, handle));
    typist.join();
    EXPECT_FALSE(fs::exists(kCapturePng));
    EXPECT_FALSE(fs::exists(kCaptureJpeg));
}
