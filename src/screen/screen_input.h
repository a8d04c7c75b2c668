// How window backends hand input to the screen core. Each call expects the screen lock to be
// held, as it is while pumpMessages runs on the window thread.
#pragma once

// Key codes: below 256 a code page 437 character; 256 and above a key without a character, its
// BIOS extended code in the high byte (kCloseRequest is Alt+F4's, used for the close command).
constexpr int kCloseRequest = 107 << 8;
// What the key maps of both backends give for a press that puts nothing into the key ring
// (modifiers alone, keys the BIOS had no code for, keys left to a character message).
constexpr int kNoKeyCode = -1;

void recordKey(int code);

// Button bits: 1 left, 2 right, 4 middle.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;

void recordPointerPosition(int x, int y);
void recordButton(int bit, bool down);
void recordWheel(int notches);
void recordActive(bool active);
void recordInside(bool inside);

// Whether any button is down, so a backend knows when to release its pointer capture.
int recordedButtons();
