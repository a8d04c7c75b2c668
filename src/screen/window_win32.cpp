// The Win32 window backend of the screen layer.
//
// Supports: one borderless popup (WS_POPUP) per windowed mode, its client area exactly the
// mode's size, centred on the primary display, shown in the foreground; presenting the changed
// rows with SetDIBitsToDevice and repainting from the screen buffer on WM_PAINT, both from a copy
// taken under the screen lock and drawn after it; keys as code page 437 characters (WM_CHAR) or
// BIOS extended codes (WM_KEYDOWN, WM_SYSKEYDOWN); the close
// command (WM_CLOSE, SC_CLOSE, Alt+F4) as the close-request key with the window left open;
// pointer position, buttons with pointer capture, wheel notches, activation and the inside flag.
//
// Every function runs on the screen layer's window thread, which owns the window and its message
// queue. Input is recorded only while pumpMessages runs, because that is when the core holds the
// screen lock that the record* functions need; messages Windows sends at other times (during
// CreateWindowEx, SetWindowText or DestroyWindow) update this file's own state, which the next
// pump hands on.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "screen/alt_keys.h"
#include "screen/cp437.h"
#include "screen/keymap_win32.h"
#include "screen/screen_input.h"
#include "screen/window_backend.h"

struct NativeWindow {
    HWND hwnd = nullptr;
    HDC dc = nullptr;  // the class's own DC (CS_OWNDC), kept for the window's life
    const ScreenView* screen = nullptr;  // set while pumpMessages runs, for WM_PAINT
    bool active = true;                  // a new window starts active, as the core assumes
    bool recordedActive = true;
    WCHAR highSurrogate = 0;  // first half of a character outside the basic plane
    // Rows copied from the screen buffer under the screen lock, drawn by flushWindow after it.
    std::vector<std::uint32_t> kept;
    int keptWidth = 0;
    int keptHeight = 0;
    int firstUnshown = 0;
    int lastUnshown = -1;
};

namespace {

// The window is a Unicode window, so that WM_CHAR brings UTF-16 whatever the system's ANSI code
// page; titles stay ANSI text, as everywhere else in the program, and are widened on the way.
const wchar_t kClassName[] = L"GlimmerixScreen";

std::wstring widen(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? std::size_t(length) : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    return wide;
}

// The BIOS extended codes of the keys without a character, by modifier.
struct BiosCodes {
    unsigned int virtualKey;
    int plain, shift, ctrl, alt;
};

// Shift leaves the cursor block alone; the keypad's twins arrive under the same VK_ codes when
// Num Lock is off, so both blocks give the same codes.
constexpr BiosCodes kBiosCodes[] = {
    {VK_HOME, 71, 71, 119, 151},   {VK_UP, 72, 72, 141, 152},    {VK_PRIOR, 73, 73, 132, 153},
    {VK_LEFT, 75, 75, 115, 155},   {VK_RIGHT, 77, 77, 116, 157}, {VK_END, 79, 79, 117, 159},
    {VK_DOWN, 80, 80, 145, 160},   {VK_NEXT, 81, 81, 118, 161},  {VK_INSERT, 82, 82, 146, 162},
    {VK_DELETE, 83, 83, 147, 163}, {VK_F11, 133, 135, 137, 139}, {VK_F12, 134, 136, 138, 140},
};

// F1 to F10 run in steps of one from these.
constexpr int kF1Plain = 59, kF1Shift = 84, kF1Ctrl = 94, kF1Alt = 104;

int pickByModifier(const BiosCodes& codes, bool alt, bool ctrl, bool shift) {
    if (alt) return codes.alt;
    if (ctrl) return codes.ctrl;
    if (shift) return codes.shift;
    return codes.plain;
}

// The character that a letter or digit key's VK_ code stands for, 0 for any other key. Other
// codes below 128 (the keypad's, F1 to F8) are not characters.
int usLayoutKey(unsigned int virtualKey) {
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z'))
        return int(virtualKey);
    if (virtualKey == VK_OEM_MINUS) return '-';
    if (virtualKey == VK_OEM_PLUS) return '=';
    return 0;
}

bool keyHeld(int virtualKey) {
    return GetKeyState(virtualKey) < 0;
}

// How many presses a key message stands for: its repeat count, at least one.
int repeatCount(LPARAM lParam) {
    return LOWORD(lParam) ? LOWORD(lParam) : 1;
}

bool isRepeat(LPARAM lParam) {
    return (lParam & (1 << 30)) != 0;
}

NativeWindow* windowOf(HWND hwnd) {
    return reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool pumping(const NativeWindow* window) {
    return window && window->screen;
}

void recordKeyTimes(int code, int times) {
    for (int i = 0; i < times; ++i) recordKey(code);
}

// A UTF-16 unit of WM_CHAR; surrogate pairs arrive as two messages.
void typeCharacter(NativeWindow* window, WCHAR unit, int times) {
    std::uint32_t codePoint = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        window->highSurrogate = unit;
        return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        if (!window->highSurrogate) return;
        codePoint =
            0x10000 + ((std::uint32_t(window->highSurrogate) - 0xD800) << 10) + (unit - 0xDC00);
    }
    window->highSurrogate = 0;
    int code = unicodeToCp437(codePoint);
    if (code >= 0) recordKeyTimes(code, times);
}

// WM_KEYDOWN and WM_SYSKEYDOWN. Returns whether the key was ours, so that DefWindowProc does not
// act on it as well.
//
// Alt+F4 is the close request, and its BIOS code is the close code, so it is recorded here, once
// per press (auto-repeats of a held Alt+F4 are not new requests). DefWindowProc must not see it:
// it would turn it into SC_CLOSE and WM_CLOSE, which record the close code a second time.
bool pressKey(WPARAM virtualKey, LPARAM lParam) {
    // Alt: the key state, or the context bit of WM_SYSKEYDOWN for messages posted by other
    // programs, whose key state says nothing.
    bool alt = keyHeld(VK_MENU) || (lParam & (1 << 29)) != 0;
    int code = win32KeyCode(unsigned(virtualKey), alt, keyHeld(VK_CONTROL), keyHeld(VK_SHIFT));
    if (code == kNoKeyCode) return false;
    if (code == kCloseRequest) {
        if (!isRepeat(lParam)) recordKey(code);
    } else {
        recordKeyTimes(code, repeatCount(lParam));
    }
    return true;
}

void pressButton(HWND hwnd, int bit) {
    if (!recordedButtons()) SetCapture(hwnd);
    recordButton(bit, true);
}

void releaseButton(int bit) {
    recordButton(bit, false);
    if (!recordedButtons()) ReleaseCapture();
}

void setActive(NativeWindow* window, bool active) {
    window->active = active;
    if (pumping(window) && active != window->recordedActive) {
        recordActive(active);
        window->recordedActive = active;
    }
}

// Whether the pointer lies over the client area, from its current screen position.
void refreshInside(HWND hwnd) {
    POINT p;
    RECT client;
    if (!GetCursorPos(&p) || !ScreenToClient(hwnd, &p) || !GetClientRect(hwnd, &client)) {
        recordInside(false);
        return;
    }
    recordInside(PtInRect(&client, p) != FALSE);
}

void drawRows(HDC dc, const ScreenView& screen, int first, int last) {
    int count = last - first + 1;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = screen.width;
    info.bmiHeader.biHeight = -count;  // negative: top-down rows, as the buffer has them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // The span is handed over as a bitmap of its own, so source and destination line up at 0.
    SetDIBitsToDevice(dc, 0, first, DWORD(screen.width), DWORD(count), 0, 0, 0, UINT(count),
                      screen.pixels + std::size_t(first) * std::size_t(screen.width), &info,
                      DIB_RGB_COLORS);
}

// Copies rows of the screen buffer for flushWindow to draw once the screen lock is released.
void keepRows(NativeWindow* window, const ScreenView& screen, int first, int last) {
    const std::size_t pixels = std::size_t(screen.width) * std::size_t(screen.height);
    if (window->kept.size() != pixels) window->kept.assign(pixels, 0);
    window->keptWidth = screen.width;
    window->keptHeight = screen.height;
    const std::size_t from = std::size_t(first) * std::size_t(screen.width);
    std::copy(screen.pixels + from, screen.pixels + std::size_t(last + 1) * screen.width,
              window->kept.begin() + std::ptrdiff_t(from));
    if (window->lastUnshown < window->firstUnshown) {
        window->firstUnshown = first;
        window->lastUnshown = last;
    } else {
        window->firstUnshown = std::min(window->firstUnshown, first);
        window->lastUnshown = std::max(window->lastUnshown, last);
    }
}

// The region is validated here and drawn, with the other kept rows, by flushWindow.
void paint(NativeWindow* window) {
    PAINTSTRUCT ps;
    BeginPaint(window->hwnd, &ps);
    const ScreenView& screen = *window->screen;
    int first = ps.rcPaint.top < 0 ? 0 : int(ps.rcPaint.top);
    int last = ps.rcPaint.bottom > screen.height ? screen.height - 1 : int(ps.rcPaint.bottom) - 1;
    if (first <= last) keepRows(window, screen, first, last);
    EndPaint(window->hwnd, &ps);
}

// Handles the messages that carry input. Returns whether the message was consumed.
bool recordInput(NativeWindow* window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = window->hwnd;
    switch (message) {
        case WM_CHAR:
            typeCharacter(window, WCHAR(wParam), repeatCount(lParam));
            return true;
        case WM_SYSCHAR:
            // Alt with a character key: a letter or digit was recorded as its Alt code at
            // WM_SYSKEYDOWN, other keys type nothing with Alt, and DefWindowProc would only beep
            // for a menu this window does not have.
            return true;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return pressKey(wParam, lParam);
        case WM_MOUSEMOVE:
            recordPointerPosition(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return true;
        // A double-click counts as a press.
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            pressButton(hwnd, kLeftButton);
            return true;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            pressButton(hwnd, kRightButton);
            return true;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            pressButton(hwnd, kMiddleButton);
            return true;
        case WM_LBUTTONUP:
            releaseButton(kLeftButton);
            return true;
        case WM_RBUTTONUP:
            releaseButton(kRightButton);
            return true;
        case WM_MBUTTONUP:
            releaseButton(kMiddleButton);
            return true;
        case WM_MOUSEWHEEL: {
            // One step per message, whatever the size of the notch.
            int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if (delta) recordWheel(delta > 0 ? 1 : -1);
            return true;
        }
        case WM_CLOSE:
            recordKey(kCloseRequest);
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* window = static_cast<NativeWindow*>(create->lpCreateParams);
        window->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    NativeWindow* window = windowOf(hwnd);
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);

    switch (message) {
        case WM_ACTIVATE:
            // The high word is set while the window is minimised, which does not count as active.
            setActive(window, LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam));
            break;
        case WM_ACTIVATEAPP:
            if (!wParam) setActive(window, false);
            break;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    // Recorded here rather than through the WM_CLOSE that DefWindowProc would
                    // send, so that one close command is one key.
                    if (pumping(window)) recordKey(kCloseRequest);
                    return 0;
                case SC_KEYMENU:
                    // F10 or a lone Alt would enter menu mode and swallow the next key; there is
                    // no menu.
                    return 0;
            }
            break;
        case WM_ERASEBKGND:
            // While the buffer is at hand WM_PAINT covers every pixel; before that, the class's
            // black brush stands in for the (black) new screen.
            if (pumping(window)) return 1;
            break;
        case WM_PAINT:
            // Outside a pump there is no buffer: leave the region invalid for the next pump.
            if (!pumping(window)) return 0;
            paint(window);
            return 0;
    }
    if (pumping(window)) {
        refreshInside(hwnd);
        if (recordInput(window, message, wParam, lParam)) return 0;
    } else if (message == WM_CLOSE) {
        return 0;  // the window stays open; only a pump can record the request
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool registerWindowClass() {
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kClassName;
        registered = RegisterClassExW(&windowClass) != 0;
        if (!registered) {
            std::fprintf(stderr, "Win32: Failed to register the window class (error %lu)\n",
                         GetLastError());
        }
    });
    return registered;
}

// Halves rounded down, also when the window is larger than the display.
int centred(int display, int window) {
    int space = display - window;
    return space >= 0 ? space / 2 : -((1 - space) / 2);
}

}  // namespace

int win32KeyCode(unsigned int virtualKey, bool alt, bool ctrl, bool shift) {
    if (virtualKey >= VK_F1 && virtualKey <= VK_F10) {
        int step = int(virtualKey - VK_F1);
        BiosCodes f{virtualKey, kF1Plain + step, kF1Shift + step, kF1Ctrl + step, kF1Alt + step};
        return pickByModifier(f, alt, ctrl, shift) << 8;
    }
    for (const BiosCodes& codes : kBiosCodes) {
        if (codes.virtualKey == virtualKey) return pickByModifier(codes, alt, ctrl, shift) << 8;
    }
    // Ctrl with Alt is AltGr on many layouts, which types characters through WM_CHAR.
    return alt && !ctrl ? altKeyCode(usLayoutKey(virtualKey)) : kNoKeyCode;
}

NativeWindow* openNativeWindow(int width, int height, const char* title) {
    if (!registerWindowClass()) return nullptr;
    const DWORD style = WS_POPUP | WS_VISIBLE;
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);  // a popup has no frame; kept should one appear
    int frameWidth = int(frame.right - frame.left);
    int frameHeight = int(frame.bottom - frame.top);
    int left = centred(GetSystemMetrics(SM_CXSCREEN), frameWidth);
    int top = centred(GetSystemMetrics(SM_CYSCREEN), frameHeight);

    auto* window = new NativeWindow;
    HWND hwnd = CreateWindowExW(0, kClassName, widen(title).c_str(), style, left, top, frameWidth,
                                frameHeight, nullptr, nullptr, GetModuleHandleA(nullptr), window);
    if (!hwnd) {
        std::fprintf(stderr, "Win32: Failed to create a %dx%d window (error %lu)\n", width, height,
                     GetLastError());
        delete window;
        return nullptr;
    }
    window->dc = GetDC(hwnd);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    return window;
}

void presentRows(NativeWindow* window, const ScreenView& screen, int first, int last) {
    keepRows(window, screen, first, last);
}

void flushWindow(NativeWindow* window) {
    if (window->lastUnshown < window->firstUnshown) return;
    const ScreenView kept{window->kept.data(), window->keptWidth, window->keptHeight};
    drawRows(window->dc, kept, window->firstUnshown, window->lastUnshown);
    window->firstUnshown = 0;
    window->lastUnshown = -1;
}

void pumpMessages(NativeWindow* window, const ScreenView& screen) {
    window->screen = &screen;
    // Activation that changed while no pump ran (during CreateWindowEx, for one).
    setActive(window, window->active);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The pointer may have left the window without a message saying so.
    refreshInside(window->hwnd);
    window->screen = nullptr;
}

void setNativeTitle(NativeWindow* window, const char* title) {
    SetWindowTextW(window->hwnd, widen(title).c_str());
}

std::intptr_t nativeHandle(NativeWindow* window) {
    return reinterpret_cast<std::intptr_t>(window->hwnd);
}

void closeNativeWindow(NativeWindow* window) {
    // Also releases the pointer capture. Whatever is still queued dies with this thread, which
    // ends with the mode; the next window gets a thread and a queue of its own.
    DestroyWindow(window->hwnd);
    delete window;
}
