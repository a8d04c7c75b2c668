// A made-up desktop for tests, linked in place of desktop_x11.cpp or desktop_win32.cpp: tests
// set what the desktop reports and see what the program asked of it.
#pragma once

struct HeadlessDesktop {
    bool opens = true;
    bool knowsWorkArea = true;
    int left = 0, top = 0, right = 1920, bottom = 1080;
    bool knowsScreen = true;
    int screenWidth = 1920, screenHeight = 1080;
    bool idleWindowExists = false;  // a window titled "Glimmerix Idle"
    bool lockTaken = false;         // another instance holds the lock
    int beeps = 0;
    int lastBeepHz = 0;
    int lastBeepMs = 0;
    long long lastShownWindow = 0;
};

// The desktop every platform call reads; tests change it freely between runs.
HeadlessDesktop& headlessDesktop();
