// How an X11 key press becomes a key code for the screen core. It is a pure function of what
// XLookupString reports, kept out of the window code so that tests can check it without a display.
#pragma once

#include "screen/screen_input.h"

// `keysym`, `text` and `textLength` as XLookupString returned them for the press; `state` is the
// event's modifier mask (the X11 ShiftMask, ControlMask and Mod1Mask bits count). Returns the code
// to put into the key ring: a code page 437 character (0-255), or for a key without a character
// its BIOS extended code shifted into the high byte (Alt+F4 gives 107 << 8; Alt with a letter or
// digit is such a key too). Returns kNoKeyCode for keys that put nothing into the ring: modifiers
// on their own and keys the BIOS had no code for.
int x11KeyCode(unsigned long keysym, unsigned int state, const char* text, int textLength);
