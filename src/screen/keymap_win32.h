// How a Win32 key press without a character becomes a key code for the screen core. It is a pure
// function of the virtual-key code and the modifiers held, kept out of the window procedure so
// that tests can check it without a window.
#pragma once

#include "screen/screen_input.h"

// `virtualKey` is the VK_ code of a WM_KEYDOWN or WM_SYSKEYDOWN. Returns the key's BIOS extended
// code shifted into the high byte, chosen by the modifier held (Alt before Ctrl before Shift;
// Alt+F4 gives 107 << 8, the close request; Alt without Ctrl on a letter or digit gives its Alt
// code), or kNoKeyCode for keys that the BIOS gave no extended code or that arrive as characters
// through WM_CHAR instead.
int win32KeyCode(unsigned int virtualKey, bool alt, bool ctrl, bool shift);
