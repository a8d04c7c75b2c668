// What the refresher pays to present a whole work-area-sized frame in a real X11 window.
#include <chrono>
#include <cstdio>
#include <vector>

#include "screen/window_backend.h"

int main() {
    const int width = 1888, height = 1016, runs = 100;
    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
    NativeWindow* window = openNativeWindow(width, height, "Glimmerix bench");
    if (!window) return 1;
    ScreenView view{pixels.data(), width, height};
    double total = 0;
    for (int i = 0; i < runs; ++i) {
        for (std::uint32_t& p : pixels) p = 0xFF000000u | std::uint32_t(i * 2654435761u);
        auto start = std::chrono::steady_clock::now();
        presentRows(window, view, 0, height - 1);
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
        pumpMessages(window, view);
    }
    closeNativeWindow(window);
    std::printf("present full %dx%d frame:     %8.3f ms\n", width, height, total / runs);
    return 0;
}
