// Every screen test starts from a fresh mode and an empty key ring, since the screen layer is one
// process-wide state.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "screen/screen.h"
#include "screen/window_headless.h"

inline void drainKeys() {
    while (!readKey().empty()) {
    }
}

// Types `key` every 100 ms while it lives (0: none). A wait that drops the keys typed before it
// begins still gets one, however late a busy machine lets it begin.
class Typist {
  public:
    explicit Typist(int key)
        : thread_([this, key] {
              for (; key && !done_; std::this_thread::sleep_for(std::chrono::milliseconds(100)))
                  headlessPressKey(key);
          }) {}
    ~Typist() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
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
};

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "image/image.h"
#include "screen/screen_state.h"

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

inline std::uint32_t screenPixel(int x, int y) {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.pixels[std::size_t(y) * std::size_t(s.width) + std::size_t(x)];
}

// Rows whose changed mark is set, for checking what an operation reports to the window.
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
