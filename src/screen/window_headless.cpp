// The headless backend: windows exist for the screen core and take injected input, and nothing
// is shown. Linked into tests in place of a platform backend.
#include "screen/window_headless.h"

#include <atomic>
#include <mutex>

#include "screen/screen_input.h"
#include "screen/screen_state.h"
#include "screen/window_backend.h"

struct NativeWindow {
    std::intptr_t id;
};

namespace {

struct Headless {
    std::atomic<std::intptr_t> nextId{1};
    std::atomic<bool> failNextOpen{false};
    // Written on the window thread with the screen lock held, read by tests under it.
    HeadlessPresentStats stats{0, -1, -1};
};

Headless& headless() {
    static Headless* state = new Headless;
    return *state;
}

template <typename F>
void underLock(F record) {
    std::lock_guard<std::mutex> guard(screenState().lock);
    record();
}

}  // namespace

NativeWindow* openNativeWindow(int, int, const char*) {
    if (headless().failNextOpen.exchange(false)) return nullptr;
    return new NativeWindow{headless().nextId++};
}

void flushWindow(NativeWindow*) {}

void presentRows(NativeWindow*, const ScreenView&, int first, int last) {
    HeadlessPresentStats& stats = headless().stats;
    ++stats.presents;
    stats.lastFirst = first;
    stats.lastLast = last;
}

void pumpMessages(NativeWindow*, const ScreenView&) {}
void setNativeTitle(NativeWindow*, const char*) {}
std::intptr_t nativeHandle(NativeWindow* window) {
    return window->id;
}
void closeNativeWindow(NativeWindow* window) {
    delete window;
}

void headlessPressKey(int code) {
    underLock([=] { recordKey(code); });
}
void headlessMovePointer(int x, int y) {
    underLock([=] { recordPointerPosition(x, y); });
}
void headlessButton(int bit, bool down) {
    underLock([=] { recordButton(bit, down); });
}
void headlessWheel(int notches) {
    underLock([=] { recordWheel(notches); });
}
void headlessSetActive(bool active) {
    underLock([=] { recordActive(active); });
}
void headlessSetInside(bool inside) {
    underLock([=] { recordInside(inside); });
}
void headlessCloseRequest() {
    underLock([] { recordKey(kCloseRequest); });
}

HeadlessPresentStats headlessPresentStats() {
    std::lock_guard<std::mutex> guard(screenState().lock);
    return headless().stats;
}

void headlessFailNextOpen() {
    headless().failNextOpen = true;
}
