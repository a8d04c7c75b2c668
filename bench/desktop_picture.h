// A made-up screenshot that costs what a real one costs: a wallpaper gradient, windows with
// gradient title bars and buttons, rows of text in an editor and a terminal, and a photo whose
// fine grain PNG cannot squeeze. A 1920 x 1080 one makes a PNG of about 0.9 MB, as real desktops
// do; flat pictures compress several times better and understate every cost that follows.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "image/image.h"
#include "screen/draw.h"

namespace bench {

inline std::uint32_t rgb(int r, int g, int b) {
    auto c = [](int v) { return std::uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

inline void gradientBox(Image* image, int x, int y, int w, int h, std::uint32_t top,
                        std::uint32_t bottom) {
    for (int row = 0; row < h; ++row) {
        auto mix = [&](int shift) {
            int a = int(top >> shift & 0xFF), b = int(bottom >> shift & 0xFF);
            return a + (b - a) * row / (h > 1 ? h - 1 : 1);
        };
        drawLine(image, float(x), float(y + row), float(x + w - 1), float(y + row),
                 rgb(mix(16), mix(8), mix(0)), kLine, kSolid, kAbsolute);
    }
}

// Lines of words in a few colours, as code or a terminal shows them.
inline void textRows(Image* image, int x, int y, int w, int h, std::mt19937& random,
                     const std::uint32_t* colours, int colourCount) {
    static const char* words[] = {"int",    "return", "capture", "0x3F",  "if",      "(x)",
                                  "{",      "}",      "editor",  "ls -l", "make",    "const",
                                  "window", "=",      "picture", "42",    "#include"};
    for (int line = 0; line + 10 <= h; line += 12) {
        int cx = x + 4 + int(random() % 4) * 16;
        while (true) {
            std::string word = words[random() % (sizeof words / sizeof *words)];
            if (cx + int(word.size()) * 8 > x + w - 4) break;
            drawText(image, float(cx), float(y + line), word, colours[random() % colourCount]);
            cx += int(word.size() + 1) * 8;
            if (random() % 9 == 0) break;
        }
    }
}

// A photo: smooth shapes under a grain of a few levels per pixel.
inline void photo(Image* image, int x0, int y0, int w, int h, std::mt19937& random) {
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = imageRow(image, std::uint32_t(y0 + y)) + x0;
        for (int x = 0; x < w; ++x) {
            double u = double(x) / w, v = double(y) / h;
            double shade = 0.5 + 0.25 * std::sin(u * 7 + v * 3) + 0.2 * std::cos(v * 11 - u * 5);
            int grain = int(random() % 19) - 9;
            row[x] = rgb(int(shade * 200) + grain + 30, int(shade * 150 + v * 60) + grain,
                         int((1 - shade) * 120 + u * 80) + grain);
        }
    }
}

// The picture, in a new image buffer (a screen mode must be set).
inline Image* desktopPicture(int width, int height, unsigned seed = 1) {
    std::mt19937 random(seed);
    Image* image = createImage(width, height, 0xFF000000);
    if (!image) return nullptr;
    gradientBox(image, 0, 0, width, height, rgb(40, 90, 160), rgb(10, 30, 60));
    photo(image, width / 2, height / 20, width * 9 / 20, height * 3 / 5, random);
    const std::uint32_t code[] = {rgb(30, 30, 30), rgb(0, 0, 200), rgb(160, 0, 120),
                                  rgb(0, 128, 0)};
    const std::uint32_t terminal[] = {rgb(200, 200, 200), rgb(80, 250, 80), rgb(250, 200, 60)};
    // An editor window and a terminal, each with a gradient title bar and two buttons.
    struct Window {
        int x, y, w, h;
        std::uint32_t body;
        const std::uint32_t* colours;
        int colourCount;
    } windows[] = {
        {width / 20, height / 12, width / 2, height * 3 / 4, 0xFFFFFFFF, code, 4},
        {width * 3 / 5, height * 11 / 20, width / 3, height * 2 / 5, 0xFF101010, terminal, 3}};
    for (const Window& win : windows) {
        drawLine(image, float(win.x), float(win.y), float(win.x + win.w - 1),
                 float(win.y + win.h - 1), win.body, kFilledBox, kSolid, kAbsolute);
        gradientBox(image, win.x, win.y, win.w, 24, rgb(90, 120, 200), rgb(40, 60, 130));
        drawText(image, float(win.x + 8), float(win.y + 8), "glimmerix - bench", 0xFFFFFFFF);
        for (int b = 0; b < 2; ++b)
            gradientBox(image, win.x + win.w - 24 * (b + 1), win.y + 4, 18, 16, rgb(230, 230, 230),
                        rgb(150, 150, 150));
        textRows(image, win.x, win.y + 30, win.w, win.h - 34, random, win.colours, win.colourCount);
    }
    // A task bar along the bottom.
    gradientBox(image, 0, height - 40, width, 40, rgb(70, 70, 80), rgb(20, 20, 25));
    textRows(image, 60, height - 28, width / 2, 12, random, terminal, 3);
    return image;
}

}  // namespace bench
