// The Win32 backend: its key map, and a real window (under Wine) fed messages as Windows would.
#include <windows.h>

#include "../editor/editor_fixture.h"
#include "screen/keymap_win32.h"

namespace {

// A WM_KEYDOWN or WM_SYSKEYDOWN with its modifiers, and the key ring's code (kNoKeyCode: none).
struct Press {
    unsigned int virtualKey;
    bool alt, ctrl, shift;
    int code;
};

// clang-format off
const Press kPresses[] = {
    // Keys without a character: BIOS extended codes, Alt before Ctrl before Shift.
    {VK_HOME, false, false, false, 71 << 8},    {VK_LEFT, false, false, true, 75 << 8},
    {VK_DELETE, true, true, false, 163 << 8},   {VK_F1, true, true, true, 104 << 8},
    {VK_F12, false, true, false, 138 << 8},     {VK_F4, true, false, false, kCloseRequest},
    // Alt with a letter or digit types nothing, so Alt+Q never reads as "q"; with Ctrl too it is
    // AltGr, which types through WM_CHAR.
    {'Q', true, false, false, 16 << 8},         {'M', true, false, true, 50 << 8},
    {'1', true, false, false, 120 << 8},        {'Q', true, true, false, kNoKeyCode},
    {VK_NUMPAD1, true, false, false, kNoKeyCode},        // 'a' as a VK_ code, but no letter
    // Keys with a character, modifiers alone, keys the BIOS never had.
    {'Q', false, false, false, kNoKeyCode},              {VK_RETURN, false, false, false, kNoKeyCode},
    {VK_MENU, true, false, false, kNoKeyCode},           {VK_F13, false, false, false, kNoKeyCode},
};
// clang-format on

TEST(KeymapWin32, KeysBecomeExtendedCodesOrAreLeftToWmChar) {
    for (const Press& p : kPresses)
        EXPECT_EQ(win32KeyCode(p.virtualKey, p.alt, p.ctrl, p.shift), p.code)
            << "VK " << p.virtualKey << " alt " << p.alt << " ctrl " << p.ctrl;
}

constexpr int kWidth = 120, kHeight = 40;
constexpr LPARAM kAltHeld = LPARAM(1) << 29, kRepeated = LPARAM(1) << 30;

class Win32Window : public ScreenTest {
  protected:
    void SetUp() override {
        openMode(kWidth, kHeight, kBorderless);
        hwnd_ = reinterpret_cast<HWND>(getWindowHandle());
        ASSERT_TRUE(IsWindow(hwnd_));
    }
    void TearDown() override { setScreenMode(1, 1, 32, 0, kWindowless, 0); }

    // Posted as Unicode, the form in which a keyboard's characters reach a Unicode window.
    void post(UINT message, WPARAM wParam, LPARAM lParam) {
        ASSERT_TRUE(PostMessageW(hwnd_, message, wParam, lParam));
    }
    // The keys of everything posted so far; the thread keeps their order, so a sentinel ends them.
    std::string keysUpToSentinel() {
        post(WM_CHAR, '#', 1);
        std::string keys, key;
        while (eventually([&] { return !(key = readKey()).empty(); }) && key != "#") keys += key;
        return keys;
    }
    COLORREF pixelOnWindow(int x, int y) {
        HDC dc = GetDC(hwnd_);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(hwnd_, dc);
        return colour;
    }
    HWND captureOwner() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(hwnd_, nullptr), &info);
        return info.hwndCapture;
    }
    HWND hwnd_ = nullptr;
};

TEST_F(Win32Window, KeysArriveAsCodePage437OrExtendedCodes) {
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::string keys;  // what the ring gets
    };
    // clang-format off
    const Message messages[] = {
        {WM_CHAR, 'a', 3, "aaa"},        {WM_CHAR, 0x2591, 1, "\xb0"},    // ░
        {WM_CHAR, 0x0192, 1, "\x9f"},    // ƒ, which the ANSI code page 1252 has at 0x83
        {WM_CHAR, 0xD83D, 1, ""},        {WM_CHAR, 0xDE00, 1, ""},  // 😀, not in code page 437
        {WM_KEYDOWN, VK_DOWN, 2, "\xffP\xffP"}, {WM_SYSKEYDOWN, VK_HOME, 1 | kAltHeld, "\xff\x97"},
        {WM_SYSKEYDOWN, VK_F10, 1, "\xff\x44"},  // no menu mode that eats the next key
        {WM_SYSKEYDOWN, 'Q', 1 | kAltHeld, "\xff\x10"},  // never "q"
        {WM_SYSKEYDOWN, VK_F4, 1 | kAltHeld, "\xffk"},
        {WM_SYSKEYDOWN, VK_F4, 1 | kAltHeld | kRepeated, ""},  // a held Alt+F4 is one request
        {WM_CLOSE, 0, 0, "\xffk"},       {WM_SYSCOMMAND, SC_CLOSE, 0, "\xffk"},
    };
    // clang-format on
    for (const Message& m : messages) {
        post(m.message, m.wParam, m.lParam);
        EXPECT_EQ(keysUpToSentinel(), m.keys) << "message " << m.message << " " << m.wParam;
    }
    EXPECT_TRUE(IsWindowVisible(hwnd_)) << "close requests leave the window open";
}

TEST_F(Win32Window, PointerPositionButtonsWheelAndWhereItIsUnavailable) {
    RECT frame;
    GetWindowRect(hwnd_, &frame);
    SetCursorPos(int(frame.left) + kWidth - 1, int(frame.top) + kHeight - 1);
    ASSERT_TRUE(eventually([] { return mouse()[1] == kWidth - 1 && mouse()[2] == kHeight - 1; }));
    const LPARAM here = MAKELPARAM(kWidth - 1, kHeight - 1);
    int wheel = mouse()[3];
    post(WM_LBUTTONDOWN, MK_LBUTTON, here);
    post(WM_RBUTTONDBLCLK, MK_LBUTTON | MK_RBUTTON, here);  // a double-click is a press
    EXPECT_TRUE(eventually([] { return mouse()[4] == 3; }));
    EXPECT_EQ(captureOwner(), hwnd_);
    post(WM_LBUTTONUP, MK_RBUTTON, here);
    post(WM_RBUTTONUP, 0, here);
    for (int delta : {3, -1, -1})  // one step each, whatever the delta
        post(WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(delta * WHEEL_DELTA)), 0);
    EXPECT_TRUE(eventually([&] { return mouse()[3] == wheel - 1 && mouse()[4] == 0; }));
    EXPECT_EQ(captureOwner(), nullptr);
    post(WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(eventually([] { return mouse()[0] != 0; }));
    post(WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(eventually([] { return mouse()[0] == 0; }));
    SetCursorPos(0, 0);
    EXPECT_TRUE(eventually([] { return mouse() == kNoPointer; }));
}

// Wine keeps a copy of the window's pixels, which hides a broken WM_PAINT from the end-to-end
// scenarios; pixels spoiled behind the screen layer's back show it.
TEST_F(Win32Window, RepaintsFromTheBufferWhenAsked) {
    drawLine(nullptr, 0, 10, kWidth - 1, 19, 0xFF0000FF, kFilledBox, kSolid, kAbsolute);
    ASSERT_TRUE(eventually([&] { return pixelOnWindow(5, 15) == RGB(0, 0, 255); }));
    HDC dc = GetDC(hwnd_);
    RECT all = {0, 0, kWidth, kHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(hwnd_, dc);
    InvalidateRect(hwnd_, nullptr, TRUE);
    EXPECT_TRUE(eventually([&] { return pixelOnWindow(5, 15) == RGB(0, 0, 255); }));
    EXPECT_EQ(pixelOnWindow(5, 5), RGB(0, 0, 0));
}

}  // namespace
