#include "desktop/desktop_headless.h"

#include <cstring>

#include "desktop/desktop.h"

HeadlessDesktop& headlessDesktop() {
    static HeadlessDesktop desktop;
    return desktop;
}

bool openDesktop() {
    return headlessDesktop().opens;
}

bool queryWorkArea(int* left, int* top, int* right, int* bottom) {
    const HeadlessDesktop& d = headlessDesktop();
    if (!d.knowsWorkArea) return false;
    *left = d.left;
    *top = d.top;
    *right = d.right;
    *bottom = d.bottom;
    return true;
}

bool queryScreenSize(int* width, int* height) {
    const HeadlessDesktop& d = headlessDesktop();
    if (!d.knowsScreen) return false;
    *width = d.screenWidth;
    *height = d.screenHeight;
    return true;
}

bool findWindowByTitle(const char* title) {
    return headlessDesktop().idleWindowExists && std::strcmp(title, "Glimmerix Idle") == 0;
}

bool acquireInstanceLock() {
    return !headlessDesktop().lockTaken;
}

void beep(int hz, int ms) {
    HeadlessDesktop& d = headlessDesktop();
    ++d.beeps;
    d.lastBeepHz = hz;
    d.lastBeepMs = ms;
}

void showAndFocusWindow(long long handle) {
    headlessDesktop().lastShownWindow = handle;
}
