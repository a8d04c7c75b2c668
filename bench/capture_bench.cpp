// Capture latency: from the poll that sees a new screenshot to the first editor frame shown in a
// real X11 window, beside the floor it replaces (FreeImage's PNG save and load of the same
// picture: the round trip through the disk that the capture no longer makes). The clipboard is
// the test one holding the PNG, so the figure leaves out the X transfer; the copy-to-screen
// benchmark (copy_probe) measures that way whole.
#include <algorithm>
#include <atomic>
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
#include "figure.h"
#include "screen/screen.h"
#include "screen/screen_state.h"

namespace {

using bench::Clock;
using bench::Figure;
using bench::since;
constexpr int kRuns = 7;

std::vector<unsigned char> fileBytes(const char* name) {
    std::ifstream file(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

bool framePresented() {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    return std::find(s.changed.begin(), s.changed.end(), 1) == s.changed.end();
}

// The moment the window last caught up with the screen buffer. The editor's frame ends in its
// frame pause, and the window shows the frame during that pause: the watcher notes each time the
// changed rows go from some to none, and once the frame has returned the last such moment is
// when it was shown (nothing else draws meanwhile).
class PresentWatcher {
  public:
    PresentWatcher()
        : thread_([this] {
              bool presented = framePresented();
              while (!stop_.load()) {
                  const bool now = framePresented();
                  if (now && !presented) {
                      std::lock_guard<std::mutex> guard(mutex_);
                      shown_ = Clock::now();
                  }
                  presented = now;
                  std::this_thread::sleep_for(std::chrono::microseconds(250));
              }
          }) {}
    ~PresentWatcher() {
        stop_ = true;
        thread_.join();
    }
    // When the frame drawn since `drawn` was shown, waiting for it if it is still pending. A
    // watcher kept off the processor may miss the moment; the frame then counts as shown now.
    Clock::time_point frameShown(Clock::time_point drawn) {
        while (!framePresented()) std::this_thread::sleep_for(std::chrono::microseconds(250));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the watcher's last look
        std::lock_guard<std::mutex> guard(mutex_);
        return shown_ > drawn ? shown_ : Clock::now();
    }

  private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Clock::time_point shown_;
    std::thread thread_;
};

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
        Clock::time_point shown;
        {
            PresentWatcher watcher;
            const Clock::time_point drawn = Clock::now();
            editorFrame(program, editor);
            shown = watcher.frameShown(drawn);
        }
        firstFrame.runs.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
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
