#include "editor/tools.h"

#include <cstdint>
#include <utility>

#include "desktop/desktop.h"
#include "editor/status.h"
#include "screen/draw.h"
#include "screen/screen_input.h"

namespace {

constexpr std::uint32_t kPenRed = 0xFFFF0000;
constexpr std::uint32_t kCensorBlack = 0xFF000000;
constexpr std::uint32_t kCropWhite = 0xFFFFFFFF;
constexpr std::uint32_t kCropDashBlack = 0xFF000000;
// Four pixels off, four on: the white outline beneath shows through the gaps.
constexpr std::uint16_t kCropDashes = 0x0F0F;
constexpr int kCannotCropHz = 1000;
constexpr int kCannotCropMs = 250;

// A 3 x 3 pen moved from the previous pointer position to the current one, as nine parallel
// one-pixel lines. The previous position may lie outside the image; drawing clips the lines.
void drawPenStroke(Image* capture, int px, int py, int ix, int iy) {
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            drawLine(capture, float(px + dx), float(py + dy), float(ix + dx), float(iy + dy),
                     kPenRed, kLine, kSolid, kAbsolute);
}

// The first frame of a drag pins both corners; later frames move only the second one.
void followDrag(DragState& drag, bool& dragging, int ix, int iy) {
    if (!dragging) {
        drag.x1 = drag.x2 = ix;
        drag.y1 = drag.y2 = iy;
        dragging = true;
    } else {
        drag.x2 = ix;
        drag.y2 = iy;
    }
}

void completeCrop(DragState& drag, Capture& capture, View& view, const WorkArea& work) {
    drag.cropDrag = false;
    // The corners stay normalised in the rectangle, so a censor still pending paints with them.
    if (drag.y2 < drag.y1) std::swap(drag.y1, drag.y2);
    if (drag.x2 < drag.x1) std::swap(drag.x1, drag.x2);
    // The corners are where the button went down and where it came up; the buffer spans the
    // distance between them, so the far corner's column and row are left out. A drag without
    // width or height therefore has no buffer at all.
    Image* cropped = createImage(drag.x2 - drag.x1, drag.y2 - drag.y1, kMagenta);
    if (!cropped) {
        printText("Cannot crop", true);
        beep(kCannotCropHz, kCannotCropMs);
        return;
    }
    putImage(cropped, 0, 0, capture.picture(), float(drag.x1), float(drag.y1), float(drag.x2),
             float(drag.y2), kAbsolute);
    // The smaller capture leaves parts of the old one on the window; start from a clean backdrop.
    paintBackdrop(work);
    capture.replacePicture(cropped);
    placeCapture(view, work, cropped);
}

void paintCensorBox(const DragState& drag, Image* capture) {
    drawLine(capture, float(drag.x1), float(drag.y1), float(drag.x2), float(drag.y2), kCensorBlack,
             kFilledBox, kSolid, kAbsolute);
}

}  // namespace

void applyTool(Tool tool, DragState& drag, Capture& capture, View& view, const WorkArea& work,
               const PointerMotion& pointer) {
    const bool inside = inImageArea(view, pointer.x, pointer.y);
    if (pointer.buttons & kLeftButton) {
        if (!inside) return;
        const int ix = imageX(view, pointer.x), iy = imageY(view, pointer.y);
        switch (tool) {
            case Tool::MARK:
                drawPenStroke(capture.picture(), imageX(view, pointer.previousX),
                              imageY(view, pointer.previousY), ix, iy);
                break;
            case Tool::CENSOR:
                followDrag(drag, drag.censorDrag, ix, iy);
                break;
            case Tool::CROP:
                followDrag(drag, drag.cropDrag, ix, iy);
                break;
        }
        return;
    }
    // A crop released outside the image area waits, preview and all, for the pointer to come
    // back inside; a censor box is painted at the first frame with the button up.
    if (drag.cropDrag && inside) completeCrop(drag, capture, view, work);
    if (drag.censorDrag) {
        drag.censorDrag = false;
        paintCensorBox(drag, capture.picture());
    }
}

void drawDragPreview(const DragState& drag, const View& view) {
    const float ax = float(windowX(view, drag.x1)), ay = float(windowY(view, drag.y1));
    const float bx = float(windowX(view, drag.x2)), by = float(windowY(view, drag.y2));
    if (drag.cropDrag) {
        drawLine(nullptr, ax, ay, bx, by, kCropWhite, kBoxOutline, kSolid, kAbsolute);
        drawLine(nullptr, ax, ay, bx, by, kCropDashBlack, kBoxOutline, kCropDashes, kAbsolute);
    }
    if (drag.censorDrag)
        drawLine(nullptr, ax, ay, bx, by, kCensorBlack, kFilledBox, kSolid, kAbsolute);
}

void revertCapture(Capture& capture, View& view, const WorkArea& work) {
    if (capture.revert()) placeCapture(view, work, capture.picture());
}
