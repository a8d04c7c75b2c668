#include "screen/screen.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>

#include "image/image.h"
#include "screen/screen_input.h"
#include "screen/screen_state.h"
#include "screen/window_backend.h"

namespace {

constexpr std::size_t kTitleLimit = 127;
constexpr int kRefreshMs = 10;
constexpr int kKeyCheckMs = 50;

void sleepFor(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool validDepth(int depth) {
    switch (depth) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 15:
        case 16:
        case 24:
        case 32:
            return true;
        default:
            return false;
    }
}

// Presents the rows that are marked changed and whose pixels differ from what the window shows,
// then clears both kinds of marks.
void presentChangedRows(ScreenState& s, NativeWindow* window, const ScreenView& view) {
    auto first = std::find(s.changed.begin(), s.changed.end(), 1);
    if (first == s.changed.end()) return;
    const int top = int(first - s.changed.begin());
    const int bottom = int(s.changed.rend() - std::find(s.changed.rbegin(), s.changed.rend(), 1));
    auto redrawnTop = s.redrawn.begin() + top, redrawnEnd = s.redrawn.begin() + bottom;
    auto firstRedrawn = std::find(redrawnTop, redrawnEnd, 1);
    if (firstRedrawn != redrawnEnd) {
        auto lastRedrawn = std::find(std::make_reverse_iterator(redrawnEnd),
                                     std::make_reverse_iterator(firstRedrawn), 1);
        presentRows(window, view, int(firstRedrawn - s.redrawn.begin()),
                    int(lastRedrawn.base() - s.redrawn.begin()) - 1);
    }
    std::fill(first, s.changed.begin() + bottom, 0);
    std::fill(redrawnTop, redrawnEnd, 0);
}

// One refresher pass every 10 ms for as long as the window lives, counted from the start of one
// pass to the start of the next: a pass that puts a whole window takes a good part of that, and a
// frame drawn meanwhile should not wait a full 10 ms more. The window is opened and closed here
// too, because some platforms tie a window's messages to the thread that made it. The program's
// thread makes the new mode's screen buffer meanwhile and says so through `buffered`.
void runWindow(ScreenState& s, int width, int height, std::string title,
               std::promise<std::intptr_t> opened, std::future<void> buffered) {
    NativeWindow* window = openNativeWindow(width, height, title.c_str());
    opened.set_value(window ? nativeHandle(window) : 0);
    if (!window) return;
    buffered.wait();
    const ScreenView view{s.pixels.data(), width, height};
    while (!s.stopWindow.load()) {
        const auto nextPass =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kRefreshMs);
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (s.titleChanged) {
                setNativeTitle(window, s.title.c_str());
                s.titleChanged = false;
            }
            presentChangedRows(s, window, view);
            pumpMessages(window, view);
        }
        flushWindow(window);
        std::this_thread::sleep_until(nextPass);
    }
    closeNativeWindow(window);
}

void endMode(ScreenState& s) {
    if (s.windowThread.joinable()) {
        s.stopWindow = true;
        s.windowThread.join();
    }
    std::lock_guard<std::mutex> guard(s.lock);
    // A release that comes after its window has gone never arrives: a button counts as held only
    // after a press that the current window saw, or the next editor would act on a stale click.
    s.buttons = 0;
    s.hasMode = false;
    s.windowed = false;
    s.width = s.height = 0;
    s.windowHandle = 0;
    setModeDepth(0);  // no mode: no new image buffers either
    std::vector<std::uint32_t>().swap(s.pixels);
    std::vector<std::uint8_t>().swap(s.changed);
    std::vector<std::uint8_t>().swap(s.redrawn);
}

void endModeAtExit() {
    endMode(screenState());
}

// The screen lock as the program's thread takes it outside the drawing code: nested under a
// frame's lockScreen like any drawing, since a frame may read keys or retitle its window while
// it holds the lock.
struct ProgramLock {
    ProgramLock() { lockScreen(); }
    ~ProgramLock() { releaseScreen(); }
    ProgramLock(const ProgramLock&) = delete;
    ProgramLock& operator=(const ProgramLock&) = delete;
};

// Reads and clears the key-pressed flag.
bool takeKeyPressed() {
    ScreenState& s = screenState();
    ProgramLock guard;
    bool pressed = s.keyPressed;
    s.keyPressed = false;
    return pressed;
}

}  // namespace

ScreenState& screenState() {
    // Never destroyed: the exit handler and a still-running window thread may use it while
    // static destructors run.
    static ScreenState* state = new ScreenState;
    return *state;
}

int setScreenMode(int width, int height, int depth, int pages, int flags, int rate) {
    (void)pages;
    (void)rate;
    if (width < 1 || height < 1 || !validDepth(depth)) return 1;
    ScreenState& s = screenState();
    static const bool exitHandlerSet = std::atexit(endModeAtExit) == 0;
    (void)exitHandlerSet;

    endMode(s);
    // A window takes a while to open, and so does a large buffer's first fill (a fault per
    // page): the window thread starts first, and uses the buffer only once it is made.
    std::promise<std::intptr_t> opened;
    std::future<std::intptr_t> handle = opened.get_future();
    std::promise<void> buffered;
    const bool windowed = flags != kWindowless;
    if (windowed) {
        std::string title;
        {
            std::lock_guard<std::mutex> guard(s.lock);
            title = s.title;
            s.titleChanged = false;
        }
        s.stopWindow = false;
        s.windowThread = std::thread(runWindow, std::ref(s), width, height, std::move(title),
                                     std::move(opened), buffered.get_future());
    }
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.pixels.assign(std::size_t(width) * std::size_t(height), 0xFF000000);
        s.changed.assign(std::size_t(height), 0);
        s.redrawn.assign(std::size_t(height), 0);
        s.lastPut = ScreenState::LastPut{};
        s.width = width;
        s.height = height;
        s.hasMode = true;
        setModeDepth(32);  // whatever depth was asked for, the buffer is 32-bit
        s.cursorRow = 1;
        s.cursorColumn = 1;
        s.foreground = 0xFFFFFFFF;
        s.background = 0xFF000000;
        if (windowed) {
            // A new window starts active; the backend reports where the pointer is.
            s.active = true;
            s.inside = false;
        }
    }
    if (!windowed) return 0;
    buffered.set_value();
    std::intptr_t h = handle.get();
    if (!h) {
        endMode(s);
        return 1;
    }
    std::lock_guard<std::mutex> guard(s.lock);
    s.windowed = true;
    s.windowHandle = h;
    return 0;
}

void setWindowTitle(const std::string& text) {
    ScreenState& s = screenState();
    ProgramLock guard;
    s.title = text.substr(0, kTitleLimit);
    s.titleChanged = s.windowed;
}

std::string windowTitle() {
    ScreenState& s = screenState();
    ProgramLock guard;
    return s.title;
}

std::intptr_t getWindowHandle() {
    ScreenState& s = screenState();
    ProgramLock guard;
    return s.windowHandle;
}

// The mode changes only on the program's thread, which is also the only caller of these, so they
// need no lock and are safe inside a frame's lockScreen.
int screenWidth() {
    return screenState().width;
}
int screenHeight() {
    return screenState().height;
}

std::string readKey() {
    ScreenState& s = screenState();
    int code = 0;
    {
        ProgramLock guard;
        if (s.readIndex != s.writeIndex) {
            code = s.keys[s.readIndex];
            s.readIndex = (s.readIndex + 1) % 16;
        }
        s.keyPressed = false;
    }
    if (code <= 0) return "";
    if (code < 256) return std::string(1, char(code));
    return std::string{char(255), char((code >> 8) & 0xFF)};
}

int readMouse(int* x, int* y, int* wheel, int* buttons, int* clip) {
    ScreenState& s = screenState();
    ProgramLock guard;
    if (!s.windowed || !s.active || !s.inside) {
        *x = *y = *wheel = *buttons = *clip = -1;
        return 1;
    }
    *x = s.pointerX;
    *y = s.pointerY;
    *wheel = s.wheel;
    *buttons = s.buttons;
    *clip = 0;
    return 0;
}

void sleepMs(int ms, bool uninterruptible) {
    if (uninterruptible) {
        sleepFor(ms);
        return;
    }
    sleepMs(ms, [](int step) {
        sleepFor(step);
        return false;
    });
}

void sleepMs(int ms, bool (*wait)(int ms)) {
    if (ms == -1) {
        while (!takeKeyPressed())
            if (wait(kKeyCheckMs)) return;
        return;
    }
    if (ms < 100) {
        if (ms > 0) wait(ms);
        return;
    }
    int remaining = ms;
    while (remaining > kKeyCheckMs) {
        if (takeKeyPressed() || wait(kKeyCheckMs)) return;
        remaining -= kKeyCheckMs;
    }
    wait(remaining);
}

void lockScreen() {
    ScreenState& s = screenState();
    if (s.lockCount == 0) s.lock.lock();
    ++s.lockCount;
}

void unlockScreen(int first, int last) {
    ScreenState& s = screenState();
    if (s.lockCount == 0) return;  // nothing to release, and the marks need the lock
    if (first < 0) first = 0;
    if (last < 0) last = s.height - 1;
    markRows(first, last);
    releaseScreen();
}

void markRows(int first, int last) {
    ScreenState& s = screenState();
    if (first < 0 || first > last || last >= s.height) return;
    std::fill(s.changed.begin() + first, s.changed.begin() + last + 1, 1);
}

void markRedrawn(int first, int last) {
    ScreenState& s = screenState();
    if (first < 0 || first > last || last >= s.height) return;
    for (int y = first; y <= last; ++y) s.lastPut.forgetRow(y);
    std::fill(s.redrawn.begin() + first, s.redrawn.begin() + last + 1, 1);
}

void releaseScreen() {
    ScreenState& s = screenState();
    if (s.lockCount == 0) return;  // an unmatched unlock must not release a lock it never took
    if (--s.lockCount == 0) s.lock.unlock();
}

// Recording, called by window backends with the screen lock held.

void recordKey(int code) {
    ScreenState& s = screenState();
    s.keys[s.writeIndex] = code;
    s.writeIndex = (s.writeIndex + 1) % 16;
    if (s.writeIndex == s.readIndex) s.readIndex = (s.readIndex + 1) % 16;
    s.keyPressed = true;
}

void recordPointerPosition(int x, int y) {
    ScreenState& s = screenState();
    s.pointerX = x;
    s.pointerY = y;
}

void recordButton(int bit, bool down) {
    ScreenState& s = screenState();
    s.buttons = down ? (s.buttons | bit) : (s.buttons & ~bit);
}

void recordWheel(int notches) {
    screenState().wheel += notches;
}
void recordActive(bool active) {
    screenState().active = active;
}
void recordInside(bool inside) {
    screenState().inside = inside;
}
int recordedButtons() {
    return screenState().buttons;
}
