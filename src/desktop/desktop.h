// desktop/ holds the services of the desktop the program runs on: the clipboard, the work area,
// the instance lock, the beep and showing a window, each behind plain functions with X11, Win32
// and headless backends, as the screen's window is. Below it lie screen/ and image/.
//
// What the program needs of the desktop it runs on. One implementation per platform:
// desktop_x11.cpp and desktop_win32.cpp. Plain functions returning true for success.
#pragma once

// Connects to the desktop. On failure writes one line to stderr saying why (for example, no X
// display) and returns false; the program then ends with exit code 1.
bool openDesktop();

// The desktop's work area (the screen less task bars and docks), corners in screen pixels with
// right and bottom exclusive. False when the platform cannot tell.
bool queryWorkArea(int* left, int* top, int* right, int* bottom);

// The primary screen's size in pixels. False when the platform cannot tell.
bool queryScreenSize(int* width, int* height);

// True when a top-level window titled exactly `title` exists in this session.
bool findWindowByTitle(const char* title);

// Takes the session's single-instance lock, which the system frees when the process dies.
// False when another live process holds it.
bool acquireInstanceLock();

// A tone of `hz` for `ms` milliseconds; returns when it is over.
void beep(int hz, int ms);

// Shows the window with native handle `handle` and brings it to the foreground. Results are not
// reported: a window that stays behind another is still usable.
void showAndFocusWindow(long long handle);
