// Editor tests run a real headless window of the editor's size and drive it frame by frame with
// injected pointer, buttons and keys, the way a user would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../screen/screen_fixture.h"
#include "app/app.h"
#include "desktop/desktop_headless.h"
#include "editor/editor.h"
#include "editor/menu.h"
#include "editor/status.h"
#include "image/freeimage.h"
#include "screen/screen_input.h"

// A colour that names its own pixel, so a shifted, flipped or mis-cropped copy shows up. Opaque,
// so it survives a trip through a 24-bit PNG.
inline std::uint32_t patternAt(int x, int y) {
    return 0xFF000000u | (std::uint32_t(x & 0xFFF) << 12) | std::uint32_t(y & 0xFFF);
}

inline std::uint32_t imagePixel(const Image* image, int x, int y) {
    return imageRow(image, std::uint32_t(y))[x];
}

inline Image* patternedImage(int width, int height) {
    Image* image = createImage(width, height, kMagenta);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) imageRow(image, std::uint32_t(y))[x] = patternAt(x, y);
    return image;
}

// Values side by side, so that one comparison shows them all when it fails.
template <class... T>
std::vector<long long> values(T... each) {
    return {static_cast<long long>(each)...};
}

class EditorTest : public ::testing::Test {
  protected:
    // Wide enough for the whole menu bar (it ends at x = 943), short enough to stay quick.
    static constexpr int kWidth = 1000, kHeight = 300;

    void SetUp() override {
        ASSERT_EQ(0, setScreenMode(kWidth, kHeight, 32, 0, kBorderless, 0));
        headlessSetActive(true);
        headlessSetInside(true);
        for (int bit : {kLeftButton, kRightButton, kMiddleButton}) headlessButton(bit, false);
        headlessMovePointer(0, 0);
        headlessDesktop().beeps = 0;
        program.work = WorkArea{kWidth, kHeight};
        program.buttons = buildButtonTable(kHeight);
    }
    // Shows `capture` as the capture cycle does: backdrop, placement, then a fresh editor start.
    void show(Image* capture) {
        owned->replacePicture(capture);
        editor.capture = owned.get();
        paintBackdrop(program.work);
        placeCapture(editor.view, program.work, capture);
        startEditor(program, editor);
    }
    bool frame() { return editorFrame(program, editor); }
    void frames(int n) {
        for (int i = 0; i < n; ++i) ASSERT_TRUE(frame()) << "frame " << i;
    }
    // Moves the pointer, then runs `n` frames.
    void pointAt(int x, int y, int n = 0) {
        headlessMovePointer(x, y);
        frames(n);
    }
    static void leftDown() { headlessButton(kLeftButton, true); }
    static void leftUp() { headlessButton(kLeftButton, false); }
    static void rightDown() { headlessButton(kRightButton, true); }
    static void rightUp() { headlessButton(kRightButton, false); }
    // Window position of an image point at the current view.
    int wx(int ix) const { return windowX(editor.view, ix); }
    int wy(int iy) const { return windowY(editor.view, iy); }
    Image* picture() const { return owned->picture(); }
    // Shows a capture taken from the clipboard with the pixels of `taken`.
    void showTaken(const Image* taken) {
        saveImageFile(taken, "taken.png", kFormatPng);
        owned = std::make_unique<Capture>(Picture(FreeImage_Load(FIF_PNG, "taken.png")));
        ASSERT_TRUE(owned->makeWorkingPicture());
        show(owned->picture());
    }

    std::unique_ptr<Capture> owned = std::make_unique<Capture>();
    Program program;
    EditorState editor;
};

// A fresh working directory for the test's lifetime, so capture files written or looked for by
// a test stay out of the way, also of the same test running in another build at the same time.
class ScopedWorkingDirectory {
  public:
    explicit ScopedWorkingDirectory(const std::string& name)
        : dir_(std::filesystem::temp_directory_path() /
               ("glimmerix-" + name + "-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    ~ScopedWorkingDirectory() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

  private:
    std::filesystem::path previous_ = std::filesystem::current_path(), dir_;
};
