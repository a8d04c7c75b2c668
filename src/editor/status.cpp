#include "editor/status.h"

#include <cmath>
#include <cstdint>

#include "screen/draw.h"

namespace {

constexpr std::uint32_t kBackdropBlack = 0xFF000000;
constexpr std::uint32_t kStripeGrey = 0xFF808080;

}  // namespace

void printCentered(const WorkArea& work, const std::string& text) {
    // Real-valued halves on the window's pixel width, not on the whole number of text columns,
    // so W = 1336 puts a 10-character text at 78.5. std::nearbyint in the default rounding mode
    // takes such halves to the even neighbour: 78.
    double column = work.width / 8.0 / 2.0 - double(text.size()) / 2.0;
    // A column below 1 is refused by locateText, and the text then starts at the cursor.
    locateText(0, int(std::nearbyint(column)));
    printText(text, true);
}

void drawStatusBand(const WorkArea& work) {
    drawLine(nullptr, 0, 0, float(work.width), 24, kBackdropBlack, kFilledBox, kSolid, kAbsolute);
}

void drawStripes(const WorkArea& work) {
    const int height = work.height;
    // Each line runs to x = W and the last one may lie at y = H; drawing clips both.
    for (int y = 0; y <= height; y += 2)
        drawLine(nullptr, 0, float(y), float(work.width), 0, kStripeGrey, kLine, kSolid, kRelative);
}

void paintBackdrop(const WorkArea& work) {
    drawLine(nullptr, 0, 0, float(work.width), float(work.height), kBackdropBlack, kFilledBox,
             kSolid, kRelative);
    drawStripes(work);
}
