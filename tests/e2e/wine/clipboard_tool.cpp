// The other program on the Windows clipboard, for the end-to-end tests under Wine: it copies
// pictures the way a screenshot key does, and reads back the text that glimmerix.exe leaves.
//
//   clipboard_tool put-bitmap PICTURE FILE [SECONDS [DEPTH]]
//       puts the picture on the clipboard as a CF_BITMAP of the screen's depth (DEPTH "screen",
//       the default) or of 1 bit per pixel (DEPTH "1"); then writes "WIDTH HEIGHT BITS" of the
//       bitmap to FILE, so a test knows the moment it arrived; then stays SECONDS (default 60)
//       or until killed, as under Wine the clipboard's data lives only while some Wine process
//       does. (The bitmap's handle would tell a test nothing: every process has its own.)
//   clipboard_tool put-text TEXT     puts TEXT on the clipboard as CF_TEXT
//   clipboard_tool get-text FILE     writes the clipboard's CF_TEXT to FILE, as it is
//   clipboard_tool work-area FILE    writes "left top right bottom" of the desktop's work area
//
// Results go to files, never to standard output: a pipe from a Wine program is held open by
// Wine's own services. Exit code 0 on success, 1 when the clipboard or the picture refused,
// 2 for a wrong command line.
#include "image/freeimage.h"  // brings <windows.h> first, as FreeImage needs

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "clipboard_tool: %s (error %lu)\n", what, GetLastError());
    return 1;
}

// Replaces the clipboard's contents with `handle` in `format`. The clipboard owns the handle
// afterwards; if it refused, the caller still does.
bool putOnClipboard(UINT format, HANDLE handle) {
    if (!OpenClipboard(nullptr)) return false;
    bool taken = EmptyClipboard() && SetClipboardData(format, handle);
    CloseClipboard();
    return taken;
}

// A device-dependent bitmap, as a screenshot key leaves it: of the screen's depth, or with one
// bit per pixel (black and white, through a colour table) when `monochrome` is set. A DIB section
// would be simpler to fill, but under Wine it does not reach other processes via the clipboard.
HBITMAP deviceBitmap(FIBITMAP* picture, bool monochrome) {
    FIBITMAP* pixels = FreeImage_ConvertTo32Bits(picture);
    if (!pixels) return nullptr;
    int width = int(FreeImage_GetWidth(pixels));
    int height = int(FreeImage_GetHeight(pixels));
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = monochrome ? CreateBitmap(width, height, 1, 1, nullptr)
                                : CreateCompatibleBitmap(screen, width, height);
    // FreeImage keeps rows bottom-up, 32-bit aligned, blue first: the layout its header names.
    // For a monochrome bitmap the system maps each colour to black or white.
    if (bitmap && SetDIBits(screen, bitmap, 0, UINT(height), FreeImage_GetBits(pixels),
                            FreeImage_GetInfo(pixels), DIB_RGB_COLORS) != height) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    ReleaseDC(nullptr, screen);
    FreeImage_Unload(pixels);
    return bitmap;
}

bool writeDescription(HBITMAP bitmap, const char* file) {
    BITMAP description;
    if (GetObjectA(bitmap, sizeof description, &description) == 0) return false;
    FILE* out = std::fopen(file, "wb");
    if (!out) return false;
    std::fprintf(out, "%ld %ld %u\n", description.bmWidth, description.bmHeight,
                 unsigned(description.bmBitsPixel));
    return std::fclose(out) == 0;
}

int putBitmap(const char* file, const char* reportFile, int seconds, bool monochrome) {
    ensureFreeImage();
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file, 0);
    FIBITMAP* picture = format == FIF_UNKNOWN ? nullptr : FreeImage_Load(format, file, 0);
    if (!picture) return fail("cannot load the picture");
    HBITMAP bitmap = deviceBitmap(picture, monochrome);
    FreeImage_Unload(picture);
    if (!bitmap) return fail("cannot make a bitmap");
    // Described while it is still ours: from SetClipboardData on it is the clipboard's.
    std::string report = std::string(reportFile) + ".new";
    if (!writeDescription(bitmap, report.c_str())) {
        DeleteObject(bitmap);
        return fail("cannot describe the bitmap");
    }
    if (!putOnClipboard(CF_BITMAP, bitmap)) {
        DeleteObject(bitmap);
        return fail("the clipboard refused the bitmap");
    }
    // The report appears whole, at the moment the bitmap is on the clipboard.
    if (!MoveFileExA(report.c_str(), reportFile, MOVEFILE_REPLACE_EXISTING))
        return fail("cannot write the file");
    Sleep(DWORD(seconds) * 1000);
    return 0;
}

int putText(const std::string& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!block) return fail("GlobalAlloc");
    char* bytes = static_cast<char*>(GlobalLock(block));
    if (!bytes) {
        GlobalFree(block);
        return fail("GlobalLock");
    }
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    if (!putOnClipboard(CF_TEXT, block)) {
        GlobalFree(block);
        return fail("the clipboard refused the text");
    }
    return 0;
}

// The text's bytes up to its terminating zero, written as they are: no line break is added, so
// a test sees exactly what is on the clipboard.
int getText(const char* file) {
    if (!IsClipboardFormatAvailable(CF_TEXT)) return fail("no text on the clipboard");
    if (!OpenClipboard(nullptr)) return fail("OpenClipboard");
    std::string text;
    bool found = false;
    if (HANDLE block = GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(GlobalLock(block))) {
            text.assign(bytes, strnlen(bytes, GlobalSize(block)));
            found = true;
            GlobalUnlock(block);
        }
    }
    CloseClipboard();
    if (!found) return fail("cannot read the text");
    FILE* out = std::fopen(file, "wb");
    if (!out) return fail("cannot write the file");
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fclose(out) == 0 ? 0 : fail("cannot write the file");
}

int workArea(const char* file) {
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return fail("SPI_GETWORKAREA");
    FILE* out = std::fopen(file, "wb");
    if (!out) return fail("cannot write the file");
    std::fprintf(out, "%ld %ld %ld %ld\n", area.left, area.top, area.right, area.bottom);
    return std::fclose(out) == 0 ? 0 : fail("cannot write the file");
}

int usage() {
    std::fprintf(stderr,
                 "usage: clipboard_tool put-bitmap PICTURE FILE [SECONDS [screen|1]] |"
                 " put-text TEXT | get-text FILE | work-area FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "put-bitmap" && argc >= 4 && argc <= 6) {
        bool monochrome = argc == 6 && std::string(argv[5]) == "1";
        if (argc == 6 && !monochrome && std::string(argv[5]) != "screen") return usage();
        return putBitmap(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 60, monochrome);
    }
    if (command == "put-text" && argc == 3) return putText(argv[2]);
    if (command == "get-text" && argc == 3) return getText(argv[2]);
    if (command == "work-area" && argc == 3) return workArea(argv[2]);
    return usage();
}
