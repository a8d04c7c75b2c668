#include "editor/view.h"

#include <algorithm>
#include <cmath>

#include "screen/draw.h"
#include "screen/screen_input.h"

namespace {

// The visible area starts 4 pixels in from the top-left corner and leaves 5 pixels at the right
// and 44 rows at the bottom, where the menu bar sits.
constexpr int kVisibleLeft = 4;
constexpr int kVisibleTop = 4;
constexpr int kVisibleRightMargin = 5;
constexpr int kVisibleBottomMargin = 44;

// The centred layout sits 2 pixels right of and 16 rows above the window's centre, leaving room
// for the menu bar below.
constexpr int kCentreShiftX = 2;
constexpr int kCentreShiftY = -16;

// Sizes are unsigned in the image header; compare and add them as 64-bit numbers so that a huge
// capture cannot wrap around.
long long widthOf(const Image* capture) {
    return capture->width;
}
long long heightOf(const Image* capture) {
    return capture->height;
}

bool overCapture(const View& view, const Image* capture, int x, int y) {
    return view.originX <= x && x < view.originX + widthOf(capture) && view.originY <= y &&
           y < view.originY + heightOf(capture);
}

}  // namespace

bool isLargerLayout(const WorkArea& work, const Image* capture) {
    return widthOf(capture) > work.width || heightOf(capture) > work.height;
}

void placeCapture(View& view, const WorkArea& work, const Image* capture) {
    if (isLargerLayout(work, capture)) {
        view.originX = kVisibleLeft;
        view.originY = kVisibleTop;
    } else {
        // Across, the halves are real-valued and only their difference is rounded down; down,
        // each half is rounded down on its own. An odd capture thus leans differently per axis.
        view.originX = int(std::floor(work.width / 2.0 - widthOf(capture) / 2.0)) + kCentreShiftX;
        view.originY = work.height / 2 - int(heightOf(capture) / 2) + kCentreShiftY;
    }
    view.panX = 0;
    view.panY = 0;
}

void panView(View& view, const WorkArea& work, const Image* capture, const PointerMotion& pointer) {
    if (!(pointer.buttons & kRightButton)) return;
    // The unclipped capture rectangle, not the image area: with a tall capture a drag that starts
    // over the menu bar's rows pans too.
    if (!overCapture(view, capture, pointer.x, pointer.y)) return;
    if (!isLargerLayout(work, capture)) return;

    // The image follows the pointer, as if dragged by hand.
    long long panX = (long long)view.panX + pointer.previousX - pointer.x;
    long long panY = (long long)view.panY + pointer.previousY - pointer.y;
    // The upper limits keep the last shown column and row inside the capture; along an axis
    // where the capture fits the visible area they are 0 or below, and the floor of 0 wins.
    panX = std::min(panX, widthOf(capture) - work.width + 8);
    panY = std::min(panY, heightOf(capture) - work.height + 47);
    view.panX = int(std::max(panX, 0LL));
    view.panY = int(std::max(panY, 0LL));
}

void clipImageArea(View& view, const WorkArea& work, const Image* capture) {
    view.right =
        int(std::min<long long>(view.originX + widthOf(capture), work.width - kVisibleRightMargin));
    view.bottom = int(
        std::min<long long>(view.originY + heightOf(capture), work.height - kVisibleBottomMargin));
}

bool inImageArea(const View& view, int x, int y) {
    return view.originX <= x && x < view.right && view.originY <= y && y < view.bottom;
}

void drawCapture(const View& view, const WorkArea& work, const Image* capture) {
    if (isLargerLayout(work, capture)) {
        // W - 8 columns and H - 47 rows from the pan offsets: exactly the visible area. A capture
        // narrower or shorter than that is clamped by putImage and fills only its top-left part.
        putImage(nullptr, kVisibleLeft, kVisibleTop, capture, float(view.panX), float(view.panY),
                 float(work.width - 9), float(work.height - 48), kRelative);
    } else {
        putImage(nullptr, float(view.originX), float(view.originY), capture);
    }
}
