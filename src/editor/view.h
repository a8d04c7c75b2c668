// Where the capture stands in the editor window, and how a capture larger than the window pans.
//
// Two layouts: a capture that fits the window is drawn whole, roughly centred; a capture wider or
// taller than the window is drawn from (4, 4) through the visible area, which ends at
// (W - 5, H - 44) above the menu bar, and pans with the right mouse button.
#pragma once

#include "editor/work_area.h"
#include "image/image.h"

struct View {
    int originX = 0;  // window position of the capture's top-left pixel at zero pan
    int originY = 0;
    int panX = 0;  // image column and row shown at the origin (larger layout only)
    int panY = 0;
    int right = 0;  // exclusive right and bottom edges of the image area, recomputed per frame
    int bottom = 0;
};

// The pointer as one editor frame read it (all -1 while unavailable), and where it stood in the
// frame before.
struct PointerMotion {
    int x = 0;
    int y = 0;
    int buttons = 0;
    int previousX = 0;
    int previousY = 0;
};

// True when `capture` is wider or taller than the window.
bool isLargerLayout(const WorkArea& work, const Image* capture);

// Chooses the layout for `capture`, sets the origin and zeroes the pan offsets.
void placeCapture(View& view, const WorkArea& work, const Image* capture);

// A right-button drag over the capture moves the view, within limits that keep the visible area
// inside the capture. Captures in the centred layout never pan.
void panView(View& view, const WorkArea& work, const Image* capture, const PointerMotion& pointer);

// Recomputes the image area: the capture's rectangle cut to the visible area.
void clipImageArea(View& view, const WorkArea& work, const Image* capture);
bool inImageArea(const View& view, int x, int y);

// The one mapping between window and image coordinates, used by the tools and their previews.
inline int imageX(const View& view, int x) {
    return x - view.originX + view.panX;
}
inline int imageY(const View& view, int y) {
    return y - view.originY + view.panY;
}
inline int windowX(const View& view, int ix) {
    return ix - view.panX + view.originX;
}
inline int windowY(const View& view, int iy) {
    return iy - view.panY + view.originY;
}

// Copies the capture onto the window: the panned part that fits the visible area in the larger
// layout, the whole capture at the origin in the centred one.
void drawCapture(const View& view, const WorkArea& work, const Image* capture);
