// Peak memory of one capture at the size limit: the clipboard's PNG, the original kept for
// REVERT, the working picture, the capture-time file's encoding, a REVERT after a crop and the
// two saves after the editor, all counted through the process's peak resident size (VmHWM),
// which is reset once the picture has been made. The goal is at most 12 bytes per pixel.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/capture.h"
#include "desktop/clipboard.h"
#include "desktop/clipboard_headless.h"
#include "desktop_picture.h"
#include "editor/menu.h"
#include "editor/tools.h"
#include "image/picture_check.h"
#include "screen/screen.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::stol(line.substr(std::strlen(field) + 1));
    return -1;
}

void measure(int width, int height) {
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
    {
        Image* picture = bench::desktopPicture(width, height);
        saveImageFile(picture, "bench-limit.png", kFormatPng);
        destroyImage(picture);
    }
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    std::ofstream("/proc/self/clear_refs") << "5";  // peak resident size := current
    const long before = statusKb("VmRSS:");
    {
        std::ifstream file("bench-limit.png", std::ios::binary);
        copyImageToHeadlessClipboard(
            std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {}));
    }
    Program program;
    program.work = WorkArea{1888, 1016};
    program.buttons = buildButtonTable(program.work.height);
    {
        Capture capture(readClipboardPicture(pollClipboardBitmap()));
        headlessClipboard().image = {};  // the X clipboard's bytes live only while read
        View view;
        if (!openEditorWindow(program, capture, view)) {
            std::printf("capture %dx%d: not taken\n", width, height);
            return;
        }
        // A crop to half the size, then REVERT: three pictures at once, the most an edit holds.
        capture.replacePicture(createImage(width / 2, height / 2, 0xFF000000));
        revertCapture(capture, view, program.work);
        capture.finishWrite();
        capture.saveFiles();
    }
    const long peak = statusKb("VmHWM:");
    const double pixels = double(width) * height;
    std::printf(
        "capture %dx%d (%.1f MP): peak %.0f MB above the %.0f MB before, %.2f bytes per "
        "pixel\n",
        width, height, pixels / 1e6, (peak - before) / 1024.0, before / 1024.0,
        (peak - before) * 1024.0 / pixels);
    for (const char* name : {"bench-limit.png", kCapturePng, kCaptureJpeg}) std::remove(name);
}

}  // namespace

int main(int argc, char** argv) {
    // One size per process: the peak of one must not hide in the other's.
    if (argc == 3) {
        measure(std::atoi(argv[1]), std::atoi(argv[2]));
        return 0;
    }
    std::printf("limit: sides up to %lld, %lld pixels at most\n", (long long)kMaxPictureSide,
                (long long)kMaxPicturePixels);
    std::fflush(stdout);
    for (const char* size : {"19200 2160", "16000 4000"}) {
        std::string command = std::string(argv[0]) + " " + size;
        if (std::system(command.c_str()) != 0) return 1;
    }
    return 0;
}
