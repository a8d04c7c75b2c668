// screen/ is the screen layer every picture, text and key goes through: modes, window, input,
// pauses, drawing and the text console. Below it lies only image/.
//
// The screen layer: one screen at a time, shown in a borderless window or kept in memory only.
//
// Pixel format, used by the screen buffer and by every image buffer alike: 32-bit 0xAARRGGBB
// values stored little-endian, so the bytes in memory are B, G, R, A. Rows run top-down. Drawing
// stores colours unchanged; the window shows red, green and blue and ignores alpha.
//
// All functions are called from the program's one thread. The window and its refresher run on a
// thread of the screen layer's own; one lock (the screen lock) guards the screen buffer, the
// changed-row marks, the key ring and the pointer state.
#pragma once

#include <cstdint>
#include <string>

// Window flags understood by setScreenMode.
constexpr int kBorderless = 8;
constexpr int kWindowless = -1;

// Sets a new mode: width x height pixels, `depth` bits per pixel (1, 2, 4, 8, 15, 16, 24 or 32;
// the buffer is always 32-bit), `pages` extra pages (unused), `flags` kBorderless or kWindowless,
// `rate` refresh rate (unused). Returns 0 on success. An invalid size or depth changes nothing;
// a window that cannot be opened leaves no mode at all.
int setScreenMode(int width, int height, int depth, int pages, int flags, int rate);

// Remembers the first 127 characters as the title and retitles the current window, if any.
void setWindowTitle(const std::string& text);
std::string windowTitle();

// The native handle of the current window (an HWND or an X11 Window id), 0 when there is none.
std::intptr_t getWindowHandle();

// The next pending key: "" when none, one character (code page 437) for a key with a character,
// or the character 255 followed by the BIOS extended code's character for a key without one.
std::string readKey();

// Pointer state. Returns 0 and fills all five outputs while the window is active and the pointer
// is over it; otherwise sets all five to -1 and returns non-zero.
int readMouse(int* x, int* y, int* wheel, int* buttons, int* clip);

// Pauses. The interruptible form (ms >= 100, or -1 = until a key) ends at the first check that
// finds the key-pressed flag set; checks happen every 50 ms. Shorter pauses never check keys.
// The uninterruptible form is one plain sleep.
void sleepMs(int ms, bool uninterruptible = false);

// The interruptible sleepMs, with every wait of it made by `wait` (given the milliseconds to
// wait, it returns true to end the pause at once). Keys are checked exactly as sleepMs checks
// them; the idle loop waits this way so that a new clipboard picture ends its pause early.
void sleepMs(int ms, bool (*wait)(int ms));

// Frame lock. Nested calls count; the screen lock is held from the outermost lockScreen to the
// matching unlockScreen, which also marks rows first..last as changed (negative: 0 and last row).
void lockScreen();
void unlockScreen(int first = -1, int last = -1);

// Current mode, for callers that size things against it. 0 x 0 when there is no mode.
int screenWidth();
int screenHeight();
