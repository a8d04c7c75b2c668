// A window of the screen layer that reports the keys it receives, for the end-to-end check of
// the close command under Wine: glimmerix.exe itself never shows what a key was.
//
// Opens a 200 x 100 borderless window titled "Close Probe" and waits up to 20 s for a first key.
// From then on it collects keys for one more second, printing each one's bytes in hex on its own
// line ("ff 6b" for the close request), and finally "window open" or "window closed". Exit code
// 0 once a key arrived, 1 if none did.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "screen/screen.h"

namespace {

void printKey(const std::string& key) {
    for (std::size_t i = 0; i < key.size(); ++i) {
        std::printf(i ? " %02x" : "%02x", unsigned(static_cast<unsigned char>(key[i])));
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Keys until `ms` have passed, or until the first one when `untilFirst` is set.
bool collectKeys(int ms, bool untilFirst) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    bool any = false;
    while (std::chrono::steady_clock::now() < end) {
        for (std::string key = readKey(); !key.empty(); key = readKey()) {
            printKey(key);
            any = true;
        }
        if (any && untilFirst) return true;
        sleepMs(20);
    }
    return any;
}

}  // namespace

int main() {
    setWindowTitle("Close Probe");
    if (setScreenMode(200, 100, 32, 0, kBorderless, 0) != 0) {
        std::printf("no window\n");
        return 1;
    }
    if (!collectKeys(20000, true)) {
        std::printf("no key\n");
        return 1;
    }
    collectKeys(1000, false);
    HWND window = reinterpret_cast<HWND>(getWindowHandle());
    std::printf(IsWindow(window) && IsWindowVisible(window) ? "window open\n" : "window closed\n");
    return 0;
}
