// Drawing costs on a work-area-sized screen: putImage against a plain memcpy of the same bytes,
// a full-screen filled box, and button captions.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "screen/draw.h"
#include "screen/screen.h"

namespace {

constexpr int kWidth = 1888;
constexpr int kHeight = 1016;

template <typename F>
double millisecondsPerRun(int runs, F work) {
    work();  // warm caches and page in the buffers
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) work();
    std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / runs;
}

}  // namespace

int main() {
    setScreenMode(kWidth, kHeight, 32, 0, kWindowless, 0);
    // Two captures put in turn, so every put really copies: a row that already shows the same
    // pixels is skipped, which is what makes a frame at rest cheap but is not what this measures.
    Image* captures[2] = {createImage(kWidth, kHeight, 0xFF336699, 0),
                          createImage(kWidth, kHeight, 0xFF996633, 0)};
    int turn = 0;
    // The baseline copies from two sources in turn too, so both touch the same amount of memory.
    std::vector<std::uint32_t> from[2] = {
        std::vector<std::uint32_t>(std::size_t(kWidth) * kHeight, 0xFF336699),
        std::vector<std::uint32_t>(std::size_t(kWidth) * kHeight, 0xFF996633)};
    std::vector<std::uint32_t> to(from[0].size());
    int copyTurn = 0;
    const int runs = 200;

    double put = millisecondsPerRun(runs, [&] { putImage(nullptr, 0, 0, captures[turn++ & 1]); });
    double putAgain = millisecondsPerRun(runs, [&] { putImage(nullptr, 0, 0, captures[0]); });
    double copy = millisecondsPerRun(runs, [&] {
        const std::vector<std::uint32_t>& source = from[copyTurn++ & 1];
        std::memcpy(to.data(), source.data(), source.size() * 4);
        asm volatile("" : : "r"(to.data()) : "memory");
    });
    double box = millisecondsPerRun(runs, [] {
        drawLine(nullptr, 0, 0, kWidth, kHeight, 0xFF000000, kFilledBox, kSolid, kRelative);
    });
    double captions = millisecondsPerRun(20, [] {
        for (int i = 0; i < 1000; ++i)
            drawText(nullptr, float(8 + (i % 7) * 130), float(kHeight - 24), "CENSOR (2)",
                     0xFF000000);
    });

    std::printf("putImage %dx%d:            %8.3f ms\n", kWidth, kHeight, put);
    std::printf("memcpy of the same bytes:       %8.3f ms  (putImage / memcpy = %.2f)\n", copy,
                put / copy);
    std::printf("putImage of what is shown:      %8.3f ms  (a frame at rest)\n", putAgain);
    std::printf("full-screen filled box:         %8.3f ms\n", box);
    std::printf("1000 captions with drawText:    %8.3f ms\n", captions);
    destroyImage(captures[0]);
    destroyImage(captures[1]);
    return 0;
}
