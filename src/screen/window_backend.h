// The seam between the portable screen core and a platform's window.
//
// A backend supplies one native window. Every function here runs on the screen layer's window
// thread, which the core starts for each windowed mode: the window is opened, refreshed, pumped
// and closed on that one thread, so backends need no locking of their own. While presentRows
// and pumpMessages run, the core holds the screen lock; pumpMessages records input through the
// record* functions of screen_input.h, which expect exactly that. flushWindow runs after the lock
// is released, so a backend that copies the rows into a buffer of its own can leave the slow
// part of showing them (a whole window's worth when it first appears) to that call, and the
// program's thread draws meanwhile.
//
// Backends: window_x11.cpp (Linux), window_win32.cpp (Windows), window_headless.cpp (tests).
#pragma once

#include <cstdint>

struct NativeWindow;

// The screen buffer as the backend sees it: width x height pixels, rows top-down, no padding.
struct ScreenView {
    const std::uint32_t* pixels;
    int width;
    int height;
};

// Opens a borderless window with a client area of exactly width x height, centred on the
// primary display, visible, in the foreground and focused, titled `title`. Returns nullptr when
// no window can be opened (the reason goes to stderr with the platform's prefix).
NativeWindow* openNativeWindow(int width, int height, const char* title);

// Copies rows first..last (inclusive, 0 <= first <= last < height) of the buffer to the window,
// at once or at the next flushWindow.
void presentRows(NativeWindow* window, const ScreenView& screen, int first, int last);

// Shows what presentRows and pumpMessages left for it, without the screen lock.
void flushWindow(NativeWindow* window);

// Handles every pending native message: records keys, pointer and activation, repaints from
// `screen` where the platform asks for it. Never blocks waiting for a message.
void pumpMessages(NativeWindow* window, const ScreenView& screen);

void setNativeTitle(NativeWindow* window, const char* title);

// The handle getWindowHandle reports: an HWND, an X11 Window id, or a made-up id.
std::intptr_t nativeHandle(NativeWindow* window);

void closeNativeWindow(NativeWindow* window);
