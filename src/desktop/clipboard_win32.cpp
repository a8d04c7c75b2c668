// The clipboard on Windows: screenshots come in as CF_BITMAP, links go out as CF_TEXT.
//
// A bitmap's handle names it: the system hands out a new one for every SetClipboardData, and
// the same one for as long as that bitmap stays on the clipboard, so the handle itself is what
// the idle loop compares. The bitmap stays the clipboard's: it is read through the handle after
// the clipboard is closed again, and never released here.
#include "image/freeimage.h"  // brings <windows.h> first, as FreeImage needs

#include <cstdio>
#include <cstring>
#include <string>

#include "desktop/bitmap_record_win32.h"
#include "desktop/clipboard.h"
#include "screen/screen.h"

namespace {

// The bitmap's pixels in a FreeImage image of its own size and depth. GetDIBits writes straight
// into the image's pixel memory, in the layout that the image's own header describes (bottom-up,
// rows padded to 32 bits, a colour table for 8 bits and fewer), which is the layout FreeImage
// keeps anyway. Returns null when the bitmap cannot be read.
FIBITMAP* readBitmap(HBITMAP bitmap, const BITMAP& description) {
    FIBITMAP* image = FreeImage_Allocate(description.bmWidth, description.bmHeight,
                                         static_cast<unsigned>(description.bmBitsPixel), 0, 0, 0);
    if (!image) return nullptr;
    unsigned coloursUsed = FreeImage_GetColorsUsed(image);
    HDC screen = GetDC(nullptr);
    if (!screen) {
        FreeImage_Unload(image);
        return nullptr;
    }
    int rows = GetDIBits(screen, bitmap, 0, FreeImage_GetHeight(image), FreeImage_GetBits(image),
                         FreeImage_GetInfo(image), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    // GetDIBits rewrites the colour count in the header it fills (to 0, "all of them"), but
    // FreeImage finds the pixels behind the colour table by that very count. Left at 0, a bitmap
    // with a colour table (8 bits per pixel and fewer) would be read from the wrong place.
    BITMAPINFOHEADER* header = FreeImage_GetInfoHeader(image);
    header->biClrUsed = coloursUsed;
    header->biClrImportant = coloursUsed;
    // No rows at all means the handle went stale between the poll and now (another program
    // emptied the clipboard): there is nothing worth saving.
    if (rows <= 0) {
        FreeImage_Unload(image);
        return nullptr;
    }
    return image;
}

// The global block that carries `text` with its terminating zero, or null.
HGLOBAL makeTextBlock(const std::string& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    sleepMs(15);
    if (!block) return nullptr;
    void* bytes = GlobalLock(block);
    if (bytes) {
        std::memcpy(bytes, text.data(), text.size());
        static_cast<char*>(bytes)[text.size()] = '\0';
    }
    // A block that stays locked after unlocking is not ours to hand over either.
    if (GlobalUnlock(block) != 0 || !bytes) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

// Set by the listener below when Windows reports a clipboard change; cleared by every poll.
bool gClipboardChanged = false;

LRESULT CALLBACK listenerProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLIPBOARDUPDATE) {
        gClipboardChanged = true;
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A message-only window of the program's thread on the clipboard's list of listeners, made at the
// first wait; null where it cannot be had (the idle loop then simply waits out its pauses).
HWND clipboardListener() {
    static HWND listener = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = listenerProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GlimmerixClipboardListener";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, windowClass.hInstance, nullptr);
        if (window && !AddClipboardFormatListener(window)) {
            DestroyWindow(window);
            window = nullptr;
        }
        return window;
    }();
    return listener;
}

}  // namespace

bool waitForClipboardChange(int ms) {
    HWND listener = clipboardListener();
    if (!listener) {
        Sleep(DWORD(ms));
        return false;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, listener, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        if (gClipboardChanged) return true;
        const DWORD waited = GetTickCount() - start;
        if (waited >= DWORD(ms)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(ms) - waited, QS_ALLINPUT);
    }
}

std::uintptr_t pollClipboardBitmap() {
    gClipboardChanged = false;
    if (!IsClipboardFormatAvailable(CF_BITMAP)) return 0;
    // Another program may be holding the clipboard; the bitmap is still there at a later poll.
    if (!OpenClipboard(nullptr)) return 0;
    HANDLE bitmap = GetClipboardData(CF_BITMAP);
    CloseClipboard();
    return reinterpret_cast<std::uintptr_t>(bitmap);
}

Picture readClipboardPicture(std::uintptr_t handle) {
    ensureFreeImage();
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(handle);
    // BITMAP ends in a pointer, so it is 32 bytes, not 24, in a 64-bit program: asking for less
    // than its size makes GetObjectA fail and leave it empty.
    BITMAP description;
    std::memset(&description, 0, sizeof description);
    if (GetObjectA(bitmap, sizeof description, &description) == 0) return nullptr;
    // Refused before a single pixel is allocated; the idle loop still counts it as taken.
    if (!bitmapRecordReadable(description)) return nullptr;

    FIBITMAP* image = readBitmap(bitmap, description);
    if (!image) return nullptr;
    // The pixels go to the screen from this picture as they are: no file and no decoding between.
    // A 24-bit bitmap is kept as read (converting would only copy it); the 24-bit copy of any
    // other has no colour table and keeps its count of 0: giving it the working image's count
    // would move where FreeImage looks for its pixels, just as above.
    if (FreeImage_GetBPP(image) == 24) return Picture(image);
    Picture copy(FreeImage_ConvertTo24Bits(image));
    FreeImage_Unload(image);
    return copy;
}

bool setClipboardText(const std::string& text) {
    if (text.empty()) return false;
    HGLOBAL block = makeTextBlock(text);
    if (!block) return false;
    if (!OpenClipboard(nullptr)) {
        GlobalFree(block);
        return false;
    }
    sleepMs(15);
    if (!EmptyClipboard()) {
        CloseClipboard();
        GlobalFree(block);
        return false;
    }
    sleepMs(15);
    // Once SetClipboardData has taken the block, it is the clipboard's to free; until then it is
    // still ours.
    if (!SetClipboardData(CF_TEXT, block)) {
        CloseClipboard();
        GlobalFree(block);
        return false;
    }
    sleepMs(15);
    CloseClipboard();
    return true;
}

bool handOverClipboard() {
    return true;  // the system keeps CF_TEXT, and the block that holds it, after the program ends
}
