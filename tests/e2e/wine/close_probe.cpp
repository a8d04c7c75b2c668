// A window of the screen layer that reports the keys it reads, for the end-to-end check of the
// close command under Wine (glimmerix.exe never shows what a key was). A borderless window titled
// "Close Probe" waits up to 20 s for a first key, then one more second, printing each key's bytes
// in hex on a line ("ff 6b": close request), then "window open" or "window closed". Exit code 0
// once a key arrived, else 1.
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
