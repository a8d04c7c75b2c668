#include "image/clipboard_picture.h"

#include <cstdio>

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
    FIBITMAP* flat = FreeImage_ConvertTo24Bits(picture);
    FreeImage_Unload(picture);
    // The header passed; the picture the decoder made must be that size too.
    if (flat && !pictureSizeAllowed(FreeImage_GetWidth(flat), FreeImage_GetHeight(flat))) {
        FreeImage_Unload(flat);
        return nullptr;
    }
    return flat;
}

int writePictureAsPng(const std::vector<unsigned char>& bytes, PictureFormat format,
                      const std::string& name) {
    FIBITMAP* flat = decodeClipboardPicture(bytes.data(), bytes.size(), format);
    if (!flat) return 0;
    bool saved = writeFreeImageFile(flat, FIF_PNG, name.c_str());
    FreeImage_Unload(flat);
    // A half-written file must not pass for a picture.
    if (!saved) std::remove(name.c_str());
    return saved ? 1 : 0;
}
