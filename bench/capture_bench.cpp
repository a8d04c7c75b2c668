// Capture latency: from the poll that sees a new screenshot to the first editor frame shown in a
// real X11 window, beside the floor it replaces (FreeImage's PNG save and load of the same
// picture: the round trip through the disk that the capture no longer makes). The clipboard is
// the test one holding the PNG, so the figure leaves out the X transfer; the copy-to-screen
// benchmark (copy_probe) measures that way whole.
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
#include "desktop_picture.h"
#include "editor/editor.h"
#include "editor/menu.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 7;

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figure {
    std::vector<double> runs;
    double median() {
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }
    void print(const char* what) {
        double middle = median();
        std::printf("  %-34s median %7.1f ms  (min %7.1f, max %7.1f)\n", what, middle, runs.front(),
                    runs.back());
    }
};

std::vector<unsigned char> fileBytes(const char* name) {
    std::ifstream file(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
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
    setScreenMode(1, 1, 32, 0, kWindowless, 0);
    Image* picture = bench::desktopPicture(width, height);
    saveImageFile(picture, "bench-desktop.png", kFormatPng);
    const std::vector<unsigned char> png = fileBytes("bench-desktop.png");

    Figure firstFrame, read, floor, saves, savesInTurn;
    for (int run = 0; run < kRuns; ++run) {
        copyImageToHeadlessClipboard(png);
        Clock::time_point start = Clock::now();
        Picture taken = readClipboardPicture(pollClipboardBitmap());
        read.runs.push_back(since(start));
        Capture capture(std::move(taken));
        View view;
        openEditorWindow(program, capture, view);
        EditorState editor;
        editor.capture = &capture;
        editor.view = view;
        startEditor(program, editor);
        editorFrame(program, editor);
        while (!framePresented()) std::this_thread::sleep_for(std::chrono::microseconds(200));
        firstFrame.runs.push_back(since(start));
        capture.removeFiles();
        capture.release();
        setScreenMode(1, 1, 32, 0, kWindowless, 0);

        // The upload's two files: at the same time, as the capture saves them, and in turn.
        Clock::time_point together = Clock::now();
        saveImageFiles(picture, {{kCapturePng, kFormatPng}, {kCaptureJpeg, kFormatJpeg}});
        saves.runs.push_back(since(together));
        Clock::time_point inTurn = Clock::now();
        saveImageFile(picture, kCapturePng, kFormatPng);
        saveImageFile(picture, kCaptureJpeg, kFormatJpeg);
        savesInTurn.runs.push_back(since(inTurn));

        Clock::time_point trip = Clock::now();
        saveImageFile(picture, "bench-floor.png", kFormatPng);
        destroyImage(loadImageFile("bench-floor.png"));
        floor.runs.push_back(since(trip));
    }
    std::printf("capture %dx%d (PNG %.2f MB), %d runs:\n", width, height, png.size() / 1e6, kRuns);
    firstFrame.print("poll -> first frame shown");
    read.print("  of which reading the clipboard");
    floor.print("floor: PNG save + load");
    saves.print("upload saves, PNG and JPEG at once");
    savesInTurn.print("  the same, one after the other");
    std::printf("  first frame / floor: %.2f\n", firstFrame.median() / floor.median());
    destroyImage(picture);
    std::remove("bench-desktop.png");
    std::remove("bench-floor.png");
    std::remove(kCapturePng);
    std::remove(kCaptureJpeg);
}

}  // namespace

int main() {
    measure(1280, 720);
    measure(1920, 1080);
    measure(3840, 2160);
    return 0;
}
