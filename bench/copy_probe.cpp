// Copy to first frame, from the outside: this probe runs the program as a user would, copies a
// screenshot with xclip (which owns the clipboard and serves the PNG, INCR and all) and watches
// one pixel of the editor window until the copied picture shows there. Each run's picture has a
// small patch of its own colour, so no earlier picture can pass for it; a space then ends the
// editor and the program goes back to waiting. Medians of 7 runs, with min and max, beside the
// floor of the same run: FreeImage's PNG save and load of the same picture.
//
// With --upload SERVER it also times "u" to link: the probe starts glimmerix-server on loopback,
// points the program at it, presses "u" once the picture shows and waits for the link to take
// the clipboard. Its floor is what the program cannot avoid: the slower of the PNG and JPEG
// saves of the same picture plus the transport posting the smaller file, timed in this process.
//
//   copy_probe PROGRAM [--upload SERVER] [WIDTH HEIGHT]...   (on a display of 1920 x 1080, as
//   bench/with-xvfb.sh)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "desktop_picture.h"
#include "editor/view.h"
#include "figure.h"
#include "upload/transport.h"

namespace {

using bench::Clock;
using bench::Figure;
using bench::since;
constexpr int kRuns = 7;
constexpr int kPatch = 100;  // the patch's corner in the picture, shown in either layout
constexpr int kServerPort = 18481;

pid_t spawn(const std::vector<std::string>& arguments) {
    pid_t pid = fork();
    if (pid == 0) {
        // xclip -quiet still talks on stderr; the figures are all this probe should print.
        if (std::FILE* quiet = std::freopen("/dev/null", "w", stdout)) (void)quiet;
        if (std::FILE* quiet = std::freopen("/dev/null", "w", stderr)) (void)quiet;
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

Window findWindow(Display* d, const char* title) {
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(d, children[i], &name) && name && std::strcmp(name, title) == 0 &&
            XGetWindowAttributes(d, children[i], &attributes) && attributes.map_state == IsViewable)
            found = children[i];
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;  // the window may go between finding it and reading it
}

struct Probe {
    std::string program;
    std::string server;  // empty: no upload figures
};

// Whose window owns the clipboard now; the program's clipboard window once the link is there.
Window clipboardOwner(Display* d) {
    return XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False));
}

// A key press and release sent to the window as xdotool's --window does, without the cost of
// starting a process inside the measured time.
void pressKey(Display* d, Window window, KeySym key) {
    XKeyEvent event{};
    event.display = d;
    event.window = window;
    event.root = DefaultRootWindow(d);
    event.time = CurrentTime;
    event.same_screen = True;
    event.keycode = XKeysymToKeycode(d, key);
    event.type = KeyPress;
    XSendEvent(d, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event));
    event.type = KeyRelease;
    XSendEvent(d, window, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&event));
    XFlush(d);
}

// The part of "u" to link that no program can avoid, in this process: both saves of the same
// picture, each timed, and the transport posting the smaller file to the same service.
double uploadFloor(Image* picture) {
    Clock::time_point start = Clock::now();
    saveImageFile(picture, "floor.png", kFormatPng);
    const double png = since(start);
    start = Clock::now();
    saveImageFile(picture, "floor.jpg", kFormatJpeg);
    const double jpeg = since(start);
    ConnectionSettings settings;
    settings.port = kServerPort;
    settings.portInHost = true;
    start = Clock::now();
    UploadResult posted = postCapture("http://127.0.0.1/api.php", settings,
                                      CaptureFiles{"floor.png", "floor.jpg"}, {});
    const double post = since(start);
    if (!posted.succeeded()) std::fprintf(stderr, "the floor's post failed\n");
    std::remove("floor.jpg");
    return std::max(png, jpeg) + post;
}

void measure(Display* d, const Probe& probe, int width, int height) {
    // The work area of a 1920 x 1080 display without a desktop's panels.
    const WorkArea work{DisplayWidth(d, DefaultScreen(d)) - 32,
                        DisplayHeight(d, DefaultScreen(d)) - 64};
    pid_t server = 0;
    if (!probe.server.empty()) {
        mkdir("probe-data", 0700);
        server = spawn({probe.server, "--port", std::to_string(kServerPort), "--data-dir",
                        "probe-data", "--public-url", "http://localhost"});
        setenv("GLIMMERIX_UPLOAD_URL",
               ("http://127.0.0.1:" + std::to_string(kServerPort) + "/api.php").c_str(), 1);
    }
    pid_t glimmerix = spawn({probe.program, "-s"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Figure copy, floor, upload, uploadFloors;
    pid_t owner = 0;
    for (int run = 0; run < kRuns; ++run) {
        Image* picture = bench::desktopPicture(width, height, unsigned(run + 1));
        const std::uint32_t marker = bench::rgb(run * 30 + 20, 255 - run * 20, 77);
        drawLine(picture, kPatch, kPatch, kPatch + 15, kPatch + 15, marker, kFilledBox, kSolid,
                 kAbsolute);
        saveImageFile(picture, "probe.png", kFormatPng);
        View view;
        placeCapture(view, work, picture);
        const int x = windowX(view, kPatch + 8), y = windowY(view, kPatch + 8);

        std::remove("screenshot.png");  // a file of an earlier run must not pass for this one
        Clock::time_point start = Clock::now();
        pid_t next = spawn(
            {"xclip", "-quiet", "-selection", "clipboard", "-t", "image/png", "-i", "probe.png"});
        bool shown = false;
        Window window = 0;
        while (!shown && since(start) < 10000) {
            if (!window) window = findWindow(d, "Glimmerix Idle");
            if (window) {
                XImage* pixel = XGetImage(d, window, x, y, 1, 1, AllPlanes, ZPixmap);
                if (pixel) {
                    shown = (XGetPixel(pixel, 0, 0) & 0xFFFFFF) == (marker & 0xFFFFFF);
                    XDestroyImage(pixel);
                }
            }
            if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (shown) copy.runs.push_back(since(start));
        stop(owner);
        owner = next;
        if (window && server) {
            // The link takes the clipboard from the copy's owner; a space then cuts the closing
            // pause short.
            // A user looks before pressing "u": by then the capture's own screenshot.png, which
            // an upload must wait for, has long been written.
            while (!std::filesystem::exists("screenshot.png") && since(start) < 20000)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const Window copied = clipboardOwner(d);
            Clock::time_point key = Clock::now();
            pressKey(d, window, XK_u);
            while (clipboardOwner(d) == copied && since(key) < 20000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (clipboardOwner(d) != copied) upload.runs.push_back(since(key));
            pressKey(d, window, XK_space);
        } else if (window) {
            pressKey(d, window, XK_space);
        }
        while (window && findWindow(d, "Glimmerix Idle") && since(start) < 30000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));

        Clock::time_point trip = Clock::now();
        saveImageFile(picture, "floor.png", kFormatPng);
        destroyImage(loadImageFile("floor.png"));
        floor.runs.push_back(since(trip));
        if (server) uploadFloors.runs.push_back(uploadFloor(picture));
        destroyImage(picture);
    }
    stop(owner);
    stop(glimmerix);
    stop(server);
    std::filesystem::remove_all("probe-data");
    std::remove("probe.png");
    std::remove("floor.png");
    std::remove("screenshot.png");
    std::remove("screenshot.jpg");
    std::remove("dump.txt");
    if (copy.runs.empty()) {
        std::printf("copy %dx%d: the picture never showed\n", width, height);
        return;
    }
    double middle = copy.median();
    std::printf(
        "copy %dx%d -> first frame: median %7.1f ms (min %7.1f, max %7.1f) over %zu runs;"
        " floor PNG save + load %7.1f ms\n",
        width, height, middle, copy.runs.front(), copy.runs.back(), copy.runs.size(),
        floor.median());
    if (!upload.runs.empty()) {
        const double link = upload.median(), bound = uploadFloors.median();
        std::printf(
            "\"u\" %dx%d -> link on the clipboard: median %7.1f ms (min %7.1f, max %7.1f) over %zu"
            " runs; floor slower save + POST %7.1f ms (%.2f x)\n",
            width, height, link, upload.runs.front(), upload.runs.back(), upload.runs.size(), bound,
            link / bound);
    } else if (server) {
        std::printf("\"u\" %dx%d: the link never reached the clipboard\n", width, height);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: copy_probe PROGRAM [--upload SERVER] [WIDTH HEIGHT]...\n");
        return 2;
    }
    Probe probe{argv[1], ""};
    int first = 2;
    if (argc > 3 && std::strcmp(argv[2], "--upload") == 0) {
        probe.server = argv[3];
        first = 4;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    XSetErrorHandler(ignoreErrors);
    setModeDepth(32);  // image buffers without a screen of our own
    std::vector<std::pair<int, int>> sizes;
    for (int i = first; i + 1 < argc; i += 2)
        sizes.push_back({std::atoi(argv[i]), std::atoi(argv[i + 1])});
    if (sizes.empty()) sizes = {{1280, 720}, {1920, 1080}, {3840, 2160}};
    for (auto [width, height] : sizes) measure(d, probe, width, height);
    XCloseDisplay(d);
    return 0;
}
