// Decoding clipboard pictures: strangers' bytes, so each is decoded as the one format that the
// clipboard named and only after its header passed the checks of picture_check.h. The program's
// own files (logo.png, the capture files) go through loadImageFile instead.
#pragma once

#include <cstddef>

#include "image/picture_check.h"

struct FIBITMAP;

// The picture as a new 24-bit FreeImage bitmap, which the caller unloads; nullptr when the bytes
// lack the format's signature, declare a size out of bounds, or do not decode.
FIBITMAP* decodeClipboardPicture(const unsigned char* bytes, std::size_t size,
                                 PictureFormat format);
