#include "desktop/desktop_headless.h"

#include <cstring>

#include "desktop/desktop.h"

HeadlessDesktop& headlessDesktop() {
    static HeadlessDesktop desktop;
    return desktop;
}

int openDesktop() {
    return headlessDesktop().opens ? 1 : 0;
}

int queryWorkArea(int* left, int* top, int* right, int* bottom) {
    const HeadlessDesktop& d = headlessDesktop();
    if (!d.knowsWorkArea) return 0;
    *left = d.left;
    *top = d.top;
    *right = d.right;
    *bottom = d.bottom;
    return 1;
}

int queryScreenSize(int* width, int* height) {
    const HeadlessDesktop& d = headlessDesktop();
    if (!d.knowsScreen) return 0;
    *width = d.screenWidth;
    *height = d.screenHeight;
    return 1;
}

int findWindowByTitle(const char* title) {
    return headlessDesktop().idleWindowExists && std::strcmp(title, "Glimmerix Idle") == 0;
}

int acquireInstanceLock() {
    return headlessDesktop().lockTaken ? 0 : 1;
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
