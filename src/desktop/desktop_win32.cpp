// The desktop on Windows: the work area and screen size from the system, windows found by title,
// a named mutex as the single-instance lock, and the speaker's beep.
#include <windows.h>

#include <cstdint>

#include "desktop/desktop.h"

namespace {

// The lock's name. "Local\" keeps it to this logon session, as a second user on the same machine
// runs a Glimmerix of their own.
const char kInstanceMutex[] = "Local\\Glimmerix.Instance";

}  // namespace

// There is always a desktop to connect to on Windows.
bool openDesktop() {
    return true;
}

bool queryWorkArea(int* left, int* top, int* right, int* bottom) {
    RECT area = {0, 0, 0, 0};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return false;
    *left = int(area.left);
    *top = int(area.top);
    *right = int(area.right);
    *bottom = int(area.bottom);
    return true;
}

bool queryScreenSize(int* width, int* height) {
    int w = GetSystemMetrics(SM_CXSCREEN);
    int h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0) return false;
    *width = w;
    *height = h;
    return true;
}

bool findWindowByTitle(const char* title) {
    return FindWindowA(nullptr, title) != nullptr;
}

// The mutex exists for as long as a handle to it is open, and the system closes handles when a
// process dies, however it dies. Holding the handle is the lock; nobody waits on the mutex.
bool acquireInstanceLock() {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kInstanceMutex);
    if (!mutex) {
        // Access is denied when the mutex exists but belongs to a process we may not open, which
        // is another instance too. Any other failure says nothing about other instances: going
        // on is better than refusing to start.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;  // the handle stays open until the process ends
}

void beep(int hz, int ms) {
    Beep(DWORD(hz), DWORD(ms));
}

void showAndFocusWindow(long long handle) {
    // The window belongs to the screen layer's thread: both calls wait for it to answer, which
    // it does within one refresher pass as long as the caller holds no screen lock.
    HWND window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle));
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}
