// Capture latency: from the poll that sees a new screenshot to the first editor frame shown in a
// real X11 window, split into the capture file's write and its read-back. Screenshots are made
// up to look like a desktop (flat areas, gradients and text), which is what PNG meets in use.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/capture.h"
#include "desktop/clipboard.h"
#include "desktop/clipboard_headless.h"
#include "editor/editor.h"
#include "editor/menu.h"
#include "screen/draw.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<unsigned char> desktopPng(int width, int height) {
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
    Image* desktop = createImage(width, height, 0xFF2B5797, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 3; ++x)
            imageRow(desktop, std::uint32_t(y))[x] = 0xFF000000u | std::uint32_t((x + y) & 0xFF);
    for (int w = 0; w < 6; ++w) {
        float x = float(width / 8 * (w + 1)), y = float(height / 10 * (w + 1));
        drawLine(desktop, x, y, x + width / 3, y + height / 3, 0xFFF0F0F0, kFilledBox, kSolid,
                 kAbsolute);
        for (int line = 0; line < height / 30; ++line)
            drawText(desktop, x + 8, y + 12 * line + 8, "The quick brown fox 0123456789",
                     0xFF101010);
    }
    saveImageFile(desktop, "bench-desktop.png", kFormatPng);
    destroyImage(desktop);
    std::ifstream file("bench-desktop.png", std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    std::remove("bench-desktop.png");
    return bytes;
}

bool framePresented() {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    return std::find(s.changed.begin(), s.changed.end(), 1) == s.changed.end();
}

void measure(int width, int height) {
    Program program;
    program.work = WorkArea{1888, 1016};
    program.buttons = buildButtonTable(program.work.height);
    copyImageToHeadlessClipboard(desktopPng(width, height));
    const int runs = 5;
    double write = 0, readBack = 0, total = 0;
    for (int run = 0; run < runs; ++run) {
        copyImageToHeadlessClipboard(headlessClipboard().image);
        Clock::time_point start = Clock::now();
        std::uintptr_t handle = pollClipboardBitmap();
        writeCaptureFile(handle);
        write += since(start);
        Clock::time_point opened = Clock::now();
        View view;
        Image* capture = openEditorWindow(program, view);
        Clock::time_point loaded = Clock::now();
        EditorState editor;
        editor.capture = capture;
        editor.view = view;
        startEditor(program, editor);
        editorFrame(program, editor);
        while (!framePresented()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        total += since(start);
        // The window's opening dominates openEditorWindow; time the read-back on its own.
        Clock::time_point reading = Clock::now();
        destroyImage(loadImageFile(kCapturePng));
        readBack += since(reading);
        (void)opened;
        (void)loaded;
        destroyImage(editor.capture);
        setScreenMode(1, 1, 32, 0, kWindowless, 0);
    }
    std::printf(
        "capture %dx%d: poll to first frame shown %7.1f ms (PNG write %6.1f ms, "
        "read-back %6.1f ms)\n",
        width, height, total / runs, write / runs, readBack / runs);
    std::remove(kCapturePng);
}

}  // namespace

int main() {
    measure(1920, 1080);
    measure(3840, 2160);
    return 0;
}
