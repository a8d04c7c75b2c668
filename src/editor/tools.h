// The editing tools: MARK's red pen, CENSOR's black boxes, CROP, and REVERT to the picture as
// taken. Every edit changes the capture's working picture itself; the window only shows that.
#pragma once

#include "editor/tool.h"
#include "editor/view.h"
#include "editor/work_area.h"
#include "image/capture.h"

// The drag rectangle in image coordinates, shared by CENSOR and CROP, and the two drags that
// use it. The drags are independent of each other and of the current tool: both may be on at
// once, and whatever one writes into the rectangle the other sees.
struct DragState {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool censorDrag = false;
    bool cropDrag = false;
};

// One frame of the tools, after the image area has been clipped for this frame. With the left
// button held inside the image area the current tool acts; with it up, a pending crop completes
// when the pointer is inside and then a pending censor box is painted wherever the pointer is.
// A completed crop replaces the capture's working picture, repaints the backdrop and places the
// new picture in `view`.
void applyTool(Tool tool, DragState& drag, Capture& capture, View& view, const WorkArea& work,
               const PointerMotion& pointer);

// Draws the pending drags on the window, over the capture: the crop's box outline in white under
// black dashes, the censor's box filled black.
void drawDragPreview(const DragState& drag, const View& view);

// Brings back the picture as it was taken and places it anew. The tool and the drags stay as
// they are. When it cannot be brought back the current picture, marks and all, stays in place.
void revertCapture(Capture& capture, View& view, const WorkArea& work);
