// The other program on the Windows clipboard in the end-to-end tests under Wine. "put-bitmap
// PICTURE FILE [1]" copies a picture as a screenshot key does, writes "WIDTH HEIGHT BITS" to FILE
// once it is there, and stays until killed: under Wine the clipboard's data lives only while some
// Wine process does. "get-text FILE" writes the clipboard's CF_TEXT to FILE as it is. Results go
// to files, as Wine's services hold a pipe open. Exit code 0, 1 on a refusal, 2 for a wrong call.
#include "image/freeimage.h"  // brings <windows.h> first, as FreeImage needs

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "clipboard_tool: %s (error %lu)\n", what, GetLastError());
    return 1;
}

bool writeFile(const char* file, const std::string& text) {
    FILE* out = std::fopen(file, "wb");
    if (!out) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && written;
}

// A device-dependent bitmap, as a screenshot key leaves it: of the screen's depth, or of one bit
// per pixel. A DIB section would be simpler, but under Wine it does not reach other processes.
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

// The bitmap is described while it is still ours (from SetClipboardData on it is the
// clipboard's), and the description appears whole, by a rename, once it is on the clipboard.
int putBitmap(const char* file, const char* reportFile, bool monochrome) {
    ensureFreeImage();
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file, 0);
    FIBITMAP* picture = format == FIF_UNKNOWN ? nullptr : FreeImage_Load(format, file, 0);
    if (!picture) return fail("cannot load the picture");
    HBITMAP bitmap = deviceBitmap(picture, monochrome);
    FreeImage_Unload(picture);
    BITMAP description;
    if (!bitmap || GetObjectA(bitmap, sizeof description, &description) == 0)
        return fail("cannot make a bitmap");
    std::string report = std::string(reportFile) + ".new";
    char text[64];
    std::snprintf(text, sizeof text, "%ld %ld %u\n", description.bmWidth, description.bmHeight,
                  unsigned(description.bmBitsPixel));
    bool taken = writeFile(report.c_str(), text) && OpenClipboard(nullptr) && EmptyClipboard() &&
                 SetClipboardData(CF_BITMAP, bitmap);
    CloseClipboard();
    if (!taken) {  // else the clipboard owns the bitmap now
        DeleteObject(bitmap);
        return fail("the clipboard refused the bitmap");
    }
    if (!MoveFileExA(report.c_str(), reportFile, MOVEFILE_REPLACE_EXISTING))
        return fail("cannot write the file");
    Sleep(INFINITE);
    return 0;
}

// The text's bytes up to its terminating zero, with no line break added.
int getText(const char* file) {
    if (!OpenClipboard(nullptr)) return fail("OpenClipboard");
    HANDLE block = GetClipboardData(CF_TEXT);
    const char* bytes = block ? static_cast<const char*>(GlobalLock(block)) : nullptr;
    std::string text = bytes ? std::string(bytes, strnlen(bytes, GlobalSize(block))) : "";
    if (bytes) GlobalUnlock(block);
    CloseClipboard();
    if (!bytes) return fail("no text on the clipboard");
    return writeFile(file, text) ? 0 : fail("cannot write the file");
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    std::string depth = argc == 5 ? argv[4] : "";
    if (command == "put-bitmap" && (argc == 4 || (argc == 5 && depth == "1")))
        return putBitmap(argv[2], argv[3], depth == "1");
    if (command == "get-text" && argc == 3) return getText(argv[2]);
    std::fprintf(stderr, "usage: clipboard_tool put-bitmap PICTURE FILE [1] | get-text FILE\n");
    return 2;
}
