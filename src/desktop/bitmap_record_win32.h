// The check on a clipboard bitmap's description before anything is allocated for its pixels.
// Any program can put a bitmap on the clipboard, and its size decides how much memory the
// capture takes, so it is held to the limits of image/picture_check.h.
#pragma once

#include <windows.h>

// True when the BITMAP record (as GetObjectA fills it) describes a bitmap that may be read: an
// allowed width and height and a depth that GetDIBits can deliver.
bool bitmapRecordReadable(const BITMAP& record);
