#include "desktop/bitmap_record_win32.h"

#include "image/picture_check.h"

bool bitmapRecordReadable(const BITMAP& record) {
    switch (record.bmBitsPixel) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return pictureSizeAllowed(record.bmWidth, record.bmHeight);
        default:
            return false;
    }
}
