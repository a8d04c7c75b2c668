#include "image/clipboard_picture.h"

#include "image/freeimage.h"

FIBITMAP* decodeClipboardPicture(const unsigned char* bytes, std::size_t size,
                                 PictureFormat format) {
    if (!pictureHeaderAllowed(bytes, size, format) || size > 0xFFFFFFFFu) return nullptr;
    ensureFreeImage();
    // FreeImage only reads from a memory stream opened on existing bytes.
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(bytes), DWORD(size));
    if (!memory) return nullptr;
    FREE_IMAGE_FORMAT named = format == PictureFormat::Png ? FIF_PNG : FIF_BMP;
    FIBITMAP* picture = FreeImage_LoadFromMemory(named, memory, 0);
    FreeImage_CloseMemory(memory);
    if (!picture) return nullptr;
    // Converting makes a copy even of a picture that is 24-bit already; at the size limit that
    // copy alone would cost 3 bytes a pixel more.
    FIBITMAP* flat = picture;
    if (FreeImage_GetBPP(picture) != 24 || FreeImage_GetImageType(picture) != FIT_BITMAP) {
        flat = FreeImage_ConvertTo24Bits(picture);
        FreeImage_Unload(picture);
    }
    // The header passed; the picture the decoder made must be that size too.
    if (flat && !pictureSizeAllowed(FreeImage_GetWidth(flat), FreeImage_GetHeight(flat))) {
        FreeImage_Unload(flat);
        return nullptr;
    }
    return flat;
}
