// The Win32 window backend with a real window: messages posted to it as Windows (or Wine) would
// deliver them, and what the screen core then reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "screen/draw.h"
#include "screen/screen.h"

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 40;

// Waits up to two seconds for the window thread to have acted.
bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 100; ++i) {
        if (done()) return true;
        Sleep(20);
    }
    return done();
}

std::string nextKey() {
    std::string key;
    eventually([&] { return !(key = readKey()).empty(); });
    return key;
}

std::string extended(int code) {
    return std::string("\xff") + char(code);
}

// Under Wine, a window needs an X display; elsewhere there is always a desktop.
bool displayMissing() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return wine && !std::getenv("DISPLAY");
}

struct Pointer {
    int x, y, wheel, buttons, clip, result;
};

Pointer pointer() {
    Pointer p{};
    p.result = readMouse(&p.x, &p.y, &p.wheel, &p.buttons, &p.clip);
    return p;
}

LPARAM at(int x, int y) {
    return MAKELPARAM(x, y);
}

constexpr LPARAM kAltHeld = LPARAM(1) << 29;
constexpr LPARAM kRepeated = LPARAM(1) << 30;

class Win32Window : public ::testing::Test {
  protected:
    void SetUp() override {
        if (displayMissing()) GTEST_SKIP() << "Wine without an X display cannot open windows";
        setWindowTitle("Loading");
        ASSERT_EQ(0, setScreenMode(kWidth, kHeight, 32, 0, kBorderless, 0));
        hwnd_ = reinterpret_cast<HWND>(getWindowHandle());
        ASSERT_TRUE(IsWindow(hwnd_));
        while (!readKey().empty()) {
        }
    }
    void TearDown() override { setScreenMode(1, 1, 32, 0, kWindowless, 0); }

    void post(UINT message, WPARAM wParam, LPARAM lParam) {
        ASSERT_TRUE(PostMessageA(hwnd_, message, wParam, lParam));
    }
    // Proves that everything posted before it has been handled: the window thread handles its
    // messages in order.
    void expectNothingMoreThan(const std::string& sentinel) {
        post(WM_CHAR, WPARAM(sentinel[0]), 1);
        EXPECT_EQ(nextKey(), sentinel);
    }
    // Moves the real pointer, so the window hears of it as it would of the user's hand.
    void movePointerTo(int x, int y) {
        RECT frame;
        GetWindowRect(hwnd_, &frame);
        SetCursorPos(int(frame.left) + x, int(frame.top) + y);
        ASSERT_TRUE(eventually([&] {
            Pointer p = pointer();
            return p.result == 0 && p.x == x && p.y == y;
        }));
    }
    COLORREF pixelOnWindow(int x, int y) {
        HDC dc = GetDC(hwnd_);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(hwnd_, dc);
        return colour;
    }

    // The window that holds the pointer capture on the window's own thread.
    HWND captureOwner() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(hwnd_, nullptr), &info);
        return info.hwndCapture;
    }

    HWND hwnd_ = nullptr;
};

TEST_F(Win32Window, IsACentredBorderlessPopupOfExactlyTheModeSize) {
    RECT client;
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right - client.left, kWidth);
    EXPECT_EQ(client.bottom - client.top, kHeight);

    LONG style = GetWindowLongA(hwnd_, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_TRUE(IsWindowVisible(hwnd_));

    RECT frame;
    ASSERT_TRUE(GetWindowRect(hwnd_, &frame));
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2);
}

TEST_F(Win32Window, OpensInTheForegroundWithTheCurrentTitle) {
    EXPECT_EQ(GetForegroundWindow(), hwnd_);
    char title[64] = {};
    GetWindowTextA(hwnd_, title, sizeof title);
    EXPECT_STREQ(title, "Loading");
    EXPECT_EQ(FindWindowA(nullptr, "Loading"), hwnd_);
}

TEST_F(Win32Window, RetitlesTheOpenWindow) {
    setWindowTitle("DONE");
    EXPECT_TRUE(eventually([&] {
        char title[64] = {};
        GetWindowTextA(hwnd_, title, sizeof title);
        return std::string(title) == "DONE";
    }));
}

TEST_F(Win32Window, CharactersArriveAsCodePage437) {
    post(WM_CHAR, 'q', 1);
    EXPECT_EQ(nextKey(), "q");
    post(WM_CHAR, 0x00E9, 1);  // é
    EXPECT_EQ(nextKey(), "\x82");
    post(WM_CHAR, 0x2591, 1);  // ░
    EXPECT_EQ(nextKey(), "\xb0");
    post(WM_CHAR, VK_RETURN, 1);
    EXPECT_EQ(nextKey(), "\r");
}

TEST_F(Win32Window, CharactersOutsideCodePage437AreDropped) {
    post(WM_CHAR, 0x20AC, 1);  // €
    post(WM_CHAR, 0xD83D, 1);  // 😀 as a surrogate pair
    post(WM_CHAR, 0xDE00, 1);
    expectNothingMoreThan("x");
}

TEST_F(Win32Window, AutoRepeatedCharactersCountEachRepeat) {
    post(WM_CHAR, 'a', 3);
    EXPECT_EQ(nextKey(), "a");
    EXPECT_EQ(nextKey(), "a");
    EXPECT_EQ(nextKey(), "a");
    expectNothingMoreThan("x");
}

TEST_F(Win32Window, KeysWithoutCharactersArriveAsExtendedCodes) {
    post(WM_KEYDOWN, VK_HOME, 1);
    EXPECT_EQ(nextKey(), extended('G'));
    post(WM_KEYDOWN, VK_DELETE, 1);
    EXPECT_EQ(nextKey(), extended('S'));
    post(WM_KEYDOWN, VK_F1, 1);
    EXPECT_EQ(nextKey(), extended(';'));
    // F10 comes as a system key even without Alt; it must not open a menu and eat the next key.
    post(WM_SYSKEYDOWN, VK_F10, 1);
    EXPECT_EQ(nextKey(), extended('D'));
    post(WM_SYSKEYDOWN, VK_HOME, 1 | kAltHeld);
    EXPECT_EQ(nextKey(), extended(151));
    expectNothingMoreThan("x");
}

TEST_F(Win32Window, AutoRepeatedKeysCountEachRepeat) {
    post(WM_KEYDOWN, VK_DOWN, 2);
    EXPECT_EQ(nextKey(), extended('P'));
    EXPECT_EQ(nextKey(), extended('P'));
    expectNothingMoreThan("x");
}

TEST_F(Win32Window, AltF4IsOneCloseRequestAndTheWindowStays) {
    post(WM_SYSKEYDOWN, VK_F4, 1 | kAltHeld);
    EXPECT_EQ(nextKey(), "\xffk");
    expectNothingMoreThan("x");
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    EXPECT_EQ(reinterpret_cast<HWND>(getWindowHandle()), hwnd_);
}

TEST_F(Win32Window, AHeldAltF4IsNotANewRequestPerRepeat) {
    post(WM_SYSKEYDOWN, VK_F4, 1 | kAltHeld | kRepeated);
    expectNothingMoreThan("x");
}

TEST_F(Win32Window, CloseCommandsAreOneCloseRequestEach) {
    post(WM_CLOSE, 0, 0);
    EXPECT_EQ(nextKey(), "\xffk");
    post(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(nextKey(), "\xffk");
    expectNothingMoreThan("x");
    EXPECT_TRUE(IsWindowVisible(hwnd_));
}

TEST_F(Win32Window, PointerPositionButtonsAndWheel) {
    movePointerTo(30, 20);
    movePointerTo(kWidth - 1, kHeight - 1);
    const LPARAM here = at(kWidth - 1, kHeight - 1);
    int wheel = pointer().wheel;

    post(WM_LBUTTONDOWN, MK_LBUTTON, here);
    EXPECT_TRUE(eventually([] { return pointer().buttons == 1; }));
    EXPECT_EQ(captureOwner(), hwnd_);
    post(WM_RBUTTONDBLCLK, MK_LBUTTON | MK_RBUTTON, here);
    EXPECT_TRUE(eventually([] { return pointer().buttons == 3; }));
    post(WM_LBUTTONUP, MK_RBUTTON, here);
    post(WM_RBUTTONUP, 0, here);
    post(WM_MBUTTONDOWN, MK_MBUTTON, here);
    EXPECT_TRUE(eventually([] { return pointer().buttons == 4; }));
    EXPECT_EQ(captureOwner(), hwnd_);
    post(WM_MBUTTONUP, 0, here);
    EXPECT_TRUE(eventually([] { return pointer().buttons == 0; }));
    EXPECT_EQ(captureOwner(), nullptr);

    // One step per message, whatever the delta.
    post(WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), 0);
    EXPECT_TRUE(eventually([&] { return pointer().wheel == wheel + 1; }));
    post(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), 0);
    post(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), 0);
    EXPECT_TRUE(eventually([&] { return pointer().wheel == wheel - 1; }));
}

TEST_F(Win32Window, PointerOutsideTheWindowReadsAsMinusOne) {
    movePointerTo(kWidth / 2, kHeight / 2);
    SetCursorPos(0, 0);
    EXPECT_TRUE(eventually([] { return pointer().result != 0; }));
    Pointer p = pointer();
    EXPECT_EQ(p.x, -1);
    EXPECT_EQ(p.y, -1);
    EXPECT_EQ(p.wheel, -1);
    EXPECT_EQ(p.buttons, -1);
}

TEST_F(Win32Window, DeactivationReadsAsMinusOne) {
    movePointerTo(kWidth / 2, kHeight / 2);
    post(WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(eventually([] { return pointer().result != 0; }));
    post(WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(eventually([] { return pointer().result == 0; }));
}

TEST_F(Win32Window, PresentsDrawnRows) {
    drawLine(nullptr, 0, 10, kWidth - 1, 19, 0xFF0000FF, kFilledBox, kSolid, kAbsolute);
    EXPECT_TRUE(eventually([&] { return pixelOnWindow(5, 15) == RGB(0, 0, 255); }));
    EXPECT_EQ(pixelOnWindow(5, 5), RGB(0, 0, 0));
    EXPECT_EQ(pixelOnWindow(5, 25), RGB(0, 0, 0));
}

TEST_F(Win32Window, RepaintsFromTheScreenBufferWhenAsked) {
    drawLine(nullptr, 0, 0, kWidth - 1, kHeight - 1, 0xFF00FF00, kFilledBox, kSolid, kAbsolute);
    ASSERT_TRUE(eventually([&] { return pixelOnWindow(60, 20) == RGB(0, 255, 0); }));

    // Spoil the window behind the screen layer's back, then ask for a repaint.
    HDC dc = GetDC(hwnd_);
    RECT all = {0, 0, kWidth, kHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(hwnd_, dc);
    ASSERT_EQ(pixelOnWindow(60, 20), RGB(255, 255, 255));
    InvalidateRect(hwnd_, nullptr, TRUE);
    EXPECT_TRUE(eventually([&] { return pixelOnWindow(60, 20) == RGB(0, 255, 0); }));
}

TEST_F(Win32Window, ANewModeClosesTheOldWindow) {
    ASSERT_EQ(0, setScreenMode(50, 30, 32, 0, kBorderless, 0));
    HWND next = reinterpret_cast<HWND>(getWindowHandle());
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_TRUE(IsWindow(next));
    ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
    EXPECT_FALSE(IsWindow(next));
    EXPECT_EQ(getWindowHandle(), 0);
}

}  // namespace
