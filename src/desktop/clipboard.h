// The system clipboard: screenshots in, links out. One implementation per platform
// (clipboard_x11.cpp, clipboard_win32.cpp) and a made-up one for tests (clipboard_headless.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "image/capture.h"

// A value that names the image now on the clipboard, 0 when there is none. The same image
// yields the same value on every poll; a newly copied image (even with identical pixels) yields
// a new one.
std::uintptr_t pollClipboardBitmap();

// Waits up to `ms` milliseconds for the clipboard to change, as the platform reports it (X11: the
// XFixes selection events; Windows: WM_CLIPBOARDUPDATE). True as soon as a change has come since
// the last pollClipboardBitmap; false after `ms` without one, or where changes are not reported.
bool waitForClipboardChange(int ms);

// The image named by `handle` as a 24-bit picture, the capture's original; empty when the image
// could not be read (gone, empty, undecodable, too large).
Picture readClipboardPicture(std::uintptr_t handle);

// Puts `text` on the clipboard as plain text; it stays there after the program's windows close.
// True on success.
bool setClipboardText(const std::string& text);

// Before the program ends: hands the text we put on the clipboard to the desktop's clipboard
// manager, if one runs, so that the link outlives the program. Waits a few seconds at most.
// True when the text will stay on the clipboard after the program ends.
bool handOverClipboard();
