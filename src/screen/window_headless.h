// The headless window backend: a window that exists for the screen core (modes with a window
// work, the refresher runs, handles are non-zero) but shows nothing. Tests link it instead of a
// platform backend and drive the program through the injection calls below, each of which takes
// the screen lock as the window thread would.
#pragma once

#include <cstdint>

void headlessPressKey(int code);
void headlessMovePointer(int x, int y);
void headlessButton(int bit, bool down);
void headlessWheel(int notches);
void headlessSetActive(bool active);
void headlessSetInside(bool inside);
void headlessCloseRequest();

// How many refresher passes have presented rows, and the last span presented, so tests can see
// that only the rows an operation touched reach the window.
struct HeadlessPresentStats {
    int presents;
    int lastFirst;
    int lastLast;
};
HeadlessPresentStats headlessPresentStats();

// When set, the next openNativeWindow fails, as on a platform that refuses a window.
void headlessFailNextOpen();
