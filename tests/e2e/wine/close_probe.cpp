// A window of the screen layer that reports the keys it receives, for the end-to-end check of
// the close command under Wine: glimmerix.exe itself never shows what a key was.
//
// Opens a 200 x 100 borderless window titled "Close Probe" and waits up to 20 s for a first key,
// then collects keys for one more second, printing each one's bytes in hex on its own line
// ("ff 6b" for the close request), and finally "window open" or "window closed". Exit code 0
// once a key arrived, 1 if none did.
#include <windows.h>

#include <cstdio>
#include <string>

#include "screen/screen.h"

int main() {
    setWindowTitle("Close Probe");
    if (setScreenMode(200, 100, 32, 0, kBorderless, 0) != 0) return 1;
    int waited = 0;
    int sinceFirst = -1;
    for (; waited < 20000 && sinceFirst < 1000; waited += 20) {
        for (std::string key = readKey(); !key.empty(); key = readKey()) {
            for (std::size_t i = 0; i < key.size(); ++i)
                std::printf(i ? " %02x" : "%02x", unsigned(static_cast<unsigned char>(key[i])));
            std::printf("\n");
            if (sinceFirst < 0) sinceFirst = 0;
        }
        if (sinceFirst >= 0) sinceFirst += 20;
        sleepMs(20);
    }
    if (sinceFirst < 0) return 1;
    HWND window = reinterpret_cast<HWND>(getWindowHandle());
    std::printf(IsWindow(window) && IsWindowVisible(window) ? "window open\n" : "window closed\n");
    return 0;
}
