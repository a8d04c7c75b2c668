// Shared by the layer tests. The screen layer is one process-wide state, so every test starts
// from a fresh mode and an empty key ring. Include before Xlib, whose None and Bool break gtest.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/app.h"
#include "desktop/desktop_headless.h"
#include "editor/editor.h"
#include "editor/menu.h"
#include "editor/status.h"
#include "image/capture.h"
#include "image/clipboard_picture.h"
#include "image/freeimage.h"
#include "image/image.h"
#include "screen/draw.h"
#include "screen/font.h"
#include "screen/screen.h"
#include "screen/screen_input.h"
#include "screen/screen_state.h"
#include "screen/window_headless.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Points = std::set<std::pair<int, int>>;

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kGrey = 0xFFC0C0C0;

// The text cursor as row * 100 + column.
inline int cursorAt() {
    int row = 0, column = 0;
    textCursor(&row, &column);
    return row * 100 + column;
}

inline void drainKeys() {
    while (!readKey().empty()) continue;
}

// readMouse as {failed, x, y, wheel, buttons (index 4), clip}.
inline std::vector<int> mouse() {
    int x, y, wheel, buttons, clip;
    int failed = readMouse(&x, &y, &wheel, &buttons, &clip) != 0;
    return {failed, x, y, wheel, buttons, clip};
}
const std::vector<int> kNoPointer{1, -1, -1, -1, -1, -1};

// Asks `done` every 20 ms until it holds or `ms` have passed; whether it held.
inline bool eventually(const std::function<bool()>& done, int ms = 2000) {
    for (Clock::time_point end = Clock::now() + milliseconds(ms); !done();
         std::this_thread::sleep_for(milliseconds(20)))
        if (Clock::now() > end) return false;
    return true;
}

inline Clock::duration timed(const std::function<void()>& work) {
    Clock::time_point start = Clock::now();
    work();
    return Clock::now() - start;
}

// Capture files written or looked for stay out of the way, also of another build's same test.
struct ScopedWorkingDirectory {
    fs::path previous = fs::current_path(),
             dir = fs::temp_directory_path() /
                   ("glimmerix-" + std::to_string(std::random_device{}()));
    ScopedWorkingDirectory() {
        fs::create_directories(dir);
        fs::current_path(dir);
    }
    ~ScopedWorkingDirectory() {
        fs::current_path(previous);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

class ScreenTest : public ::testing::Test {
  protected:
    // Windowless by default: no refresher clears the row marks behind the test's back.
    void SetUp() override { openMode(64, 48, kWindowless); }
    void openMode(int width, int height, int flags) {
        ASSERT_EQ(0, setScreenMode(width, height, 32, 0, flags, 0));
        drainKeys();
    }
    void openWindow(int width = 64, int height = 48) {
        openMode(width, height, kBorderless);
        headlessSetActive(true);
        headlessSetInside(true);
    }
    ScopedWorkingDirectory directory;  // for the files an ending key saves and the tests write
};

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

inline std::uint32_t screenPixel(int x, int y) {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.pixels[std::size_t(y) * std::size_t(s.width) + std::size_t(x)];
}

inline std::vector<int> markedRows() {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<int> rows;
    for (std::size_t y = 0; y < s.changed.size(); ++y)
        if (s.changed[y]) rows.push_back(int(y));
    return rows;
}

inline void clearMarks() {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::fill(s.changed.begin(), s.changed.end(), 0);
}

// A `format` file of `bpp`-bit noise, which does not compress, so a large one stays large.
inline std::vector<unsigned char> pictureBytes(FREE_IMAGE_FORMAT format, int width, int height,
                                               int bpp = 24) {
    ensureFreeImage();
    FIBITMAP* picture = FreeImage_Allocate(width, height, bpp);
    std::mt19937 random(unsigned(width + height));
    for (unsigned i = 0; i < FreeImage_GetPitch(picture) * unsigned(height); ++i)
        FreeImage_GetBits(picture)[i] = BYTE(random());
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(format, picture, memory, 0);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    std::vector<unsigned char> bytes(data, data + size);
    FreeImage_CloseMemory(memory);
    FreeImage_Unload(picture);
    return bytes;
}

// A colour naming its pixel (shifts, flips and bad crops show), opaque to survive a 24-bit PNG.
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

class EditorTest : public ScreenTest {
  protected:
    // Wide enough for the whole menu bar (it ends at x = 943), short enough to stay quick.
    static constexpr int kWidth = 1000, kHeight = 300;

    void SetUp() override {
        openWindow(kWidth, kHeight);  // which lets go of the buttons a previous test held
        headlessMovePointer(0, 0);
        headlessDesktop().beeps = 0;
        program.work = WorkArea{kWidth, kHeight};
        program.buttons = buildButtonTable(kHeight);
        show(patternedImage(200, 100));  // it stands at (402, 84)
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
    void pointAt(int x, int y, int n = 0) {
        headlessMovePointer(x, y);
        frames(n);
    }
    static void leftDown() { headlessButton(kLeftButton, true); }
    static void leftUp() { headlessButton(kLeftButton, false); }
    // Window position of an image point at the current view.
    int wx(int ix) const { return windowX(editor.view, ix); }
    int wy(int iy) const { return windowY(editor.view, iy); }
    Image* picture() const { return owned->picture(); }
    std::unique_ptr<Capture> owned = std::make_unique<Capture>();
    Program program;
    EditorState editor;
};
