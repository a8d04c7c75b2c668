// Where the capture stands in the editor window, and how a capture larger than the window pans.
#pragma once

#include "app/app.h"
#include "image/image.h"

struct View {
    int originX = 0;  // window position of the capture's top-left pixel at zero pan
    int originY = 0;
    int panX = 0;  // image column and row shown at the origin (larger layout only)
    int panY = 0;
    int right = 0;   // exclusive right and bottom edges of the image area, recomputed per frame
    int bottom = 0;
};

// Chooses the layout for `capture`, sets the origin and zeroes the pan offsets.
void placeCapture(View& view, const WorkArea& work, const Image* capture);
