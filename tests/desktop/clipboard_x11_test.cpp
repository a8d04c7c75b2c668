// The X11 clipboard against a private Xvfb, with xclip and a clipboard owner of our own as the
// other programs. The clipboard keeps one connection for the whole process, so one X server
// serves every test of a run and each test sets up the clipboard state it needs.
// GoogleTest comes before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "desktop/clipboard.h"
#include "image/freeimage.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool gDisplayReady = false;

// Starts Xvfb on a display number of its own choosing (-displayfd) and works in a fresh
// directory. The server is told to end when this process does, so the clipboard's connections
// never see it vanish while they are still open.
class XvfbEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "glimmerix-clipboard-XXXXXX").string();
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) return;
        directory_ = pattern;
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0",
                   "1920x1080x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (pid > 0 && poll(&ready, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) return;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        gDisplayReady = std::system("command -v xclip >/dev/null") == 0;
    }

    void TearDown() override {
        if (!directory_.empty()) std::filesystem::remove_all(directory_);
    }

  private:
    std::string directory_;
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

int sh(const std::string& command) {
    return std::system(("timeout 20 " + command).c_str());
}

std::string shOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(("timeout 10 " + command).c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

bool exists(const char* path) {
    return std::ifstream(path).good();
}

// ---- Pictures -----------------------------------------------------------------------------

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};

// FreeImage counts rows from the bottom; these helpers count from the top like the screen.
Rgb pixelAt(FIBITMAP* picture, int x, int y) {
    RGBQUAD quad{};
    FreeImage_GetPixelColor(picture, unsigned(x), FreeImage_GetHeight(picture) - 1 - unsigned(y),
                            &quad);
    return {quad.rgbRed, quad.rgbGreen, quad.rgbBlue};
}

void setPixel(FIBITMAP* picture, int x, int y, Rgb colour) {
    RGBQUAD quad{BYTE(colour.b), BYTE(colour.g), BYTE(colour.r), 0};
    FreeImage_SetPixelColor(picture, unsigned(x), FreeImage_GetHeight(picture) - 1 - unsigned(y),
                            &quad);
}

// A red "F" on blue, 40 x 30: a flip, a mirror or a red/blue swap cannot pass unseen.
bool inLetterF(int x, int y) {
    bool stem = x >= 5 && x < 10 && y >= 5 && y < 25;
    bool top = y >= 5 && y < 10 && x >= 5 && x < 30;
    bool middle = y >= 13 && y < 17 && x >= 5 && x < 21;
    return stem || top || middle;
}

void saveLetterF(const char* path, FREE_IMAGE_FORMAT format) {
    ensureFreeImage();
    FIBITMAP* picture = FreeImage_Allocate(40, 30, 24);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) setPixel(picture, x, y, inLetterF(x, y) ? kRed : kBlue);
    ASSERT_TRUE(FreeImage_Save(format, picture, path, 0));
    FreeImage_Unload(picture);
}

void saveNoise(const char* path, int width, int height) {
    ensureFreeImage();
    FIBITMAP* picture = FreeImage_Allocate(width, height, 24);
    std::mt19937 random(unsigned(width * 7 + height));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(picture, y);
        for (int i = 0; i < width * 3; ++i) row[i] = BYTE(random());
    }
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, picture, path, 0));
    FreeImage_Unload(picture);
}

// Whether two files hold the same 24-bit picture, pixel for pixel.
bool samePixels(const char* expectedPath, const char* actualPath) {
    FIBITMAP* expected = FreeImage_Load(FreeImage_GetFileType(expectedPath, 0), expectedPath, 0);
    FIBITMAP* actual = FreeImage_Load(FreeImage_GetFileType(actualPath, 0), actualPath, 0);
    bool same = expected && actual && FreeImage_GetBPP(actual) == 24 &&
                FreeImage_GetWidth(expected) == FreeImage_GetWidth(actual) &&
                FreeImage_GetHeight(expected) == FreeImage_GetHeight(actual);
    for (unsigned y = 0; same && y < FreeImage_GetHeight(actual); ++y)
        same = std::equal(FreeImage_GetScanLine(expected, int(y)),
                          FreeImage_GetScanLine(expected, int(y)) + FreeImage_GetWidth(actual) * 3,
                          FreeImage_GetScanLine(actual, int(y)));
    if (expected) FreeImage_Unload(expected);
    if (actual) FreeImage_Unload(actual);
    return same;
}

// ---- Other clipboard clients --------------------------------------------------------------

Window currentOwner() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return None;
    Window owner = XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False));
    XCloseDisplay(d);
    return owner;
}

// Runs a command that takes the clipboard and waits until it has.
void copyWith(const std::string& command) {
    Window before = currentOwner();
    ASSERT_EQ(0, sh(command)) << command;
    Clock::time_point deadline = Clock::now() + milliseconds(5000);
    while (currentOwner() == before && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_NE(before, currentOwner()) << command << " did not take the clipboard";
}

void copyImageFile(const char* path, const char* type = "image/png") {
    copyWith(std::string("xclip -selection clipboard -t ") + type + " -i " + path);
}

// Leaves the clipboard without an owner: a client takes it and disconnects.
void emptyClipboard() {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, d);
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), w, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
    ASSERT_EQ(Window(None), currentOwner());
}

// Polls until the clipboard names an image other than `previous`, as the idle loop would.
std::uintptr_t waitForNewImage(std::uintptr_t previous) {
    Clock::time_point deadline = Clock::now() + milliseconds(5000);
    std::uintptr_t handle = pollClipboardBitmap();
    while ((handle == 0 || handle == previous) && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(20));
        handle = pollClipboardBitmap();
    }
    return handle;
}

// A clipboard owner of the test's own, on its own connection and thread: it offers image/png
// with the given bytes, or hears requests and never answers them. claim() takes the selection
// again from the same window, as a program does when the user copies again.
class TestOwner {
  public:
    TestOwner(std::vector<unsigned char> png, bool silent)
        : png_(std::move(png)), silent_(silent), display_(XOpenDisplay(nullptr)) {
        clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
        targets_ = XInternAtom(display_, "TARGETS", False);
        pngTarget_ = XInternAtom(display_, "image/png", False);
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        take();
        thread_ = std::thread([this] { serve(); });
    }
    ~TestOwner() {
        stop_ = true;
        thread_.join();
        XCloseDisplay(display_);
    }
    void claim() {
        int wanted = ++claims_;
        Clock::time_point deadline = Clock::now() + milliseconds(3000);
        while (claimed_ < wanted && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(5));
    }
    int requests() const { return requests_; }

  private:
    void take() {
        XSetSelectionOwner(display_, clipboard_, window_, CurrentTime);
        XSync(display_, False);
    }
    void serve() {
        while (!stop_) {
            if (claimed_ < claims_) {
                take();
                ++claimed_;
            }
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == SelectionRequest) {
                    ++requests_;
                    if (!silent_) answer(event.xselectionrequest);
                }
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, 10);
        }
    }
    void answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = request.property;
        if (request.target == targets_) {
            Atom offered[] = {targets_, pngTarget_};
            XChangeProperty(display_, request.requestor, request.property, XA_ATOM, 32,
                            PropModeReplace, reinterpret_cast<unsigned char*>(offered), 2);
        } else if (request.target == pngTarget_) {
            XChangeProperty(display_, request.requestor, request.property, pngTarget_, 8,
                            PropModeReplace, png_.data(), int(png_.size()));
        } else {
            reply.xselection.property = None;
        }
        XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
        XFlush(display_);
    }

    std::vector<unsigned char> png_;
    bool silent_;
    Display* display_;
    Atom clipboard_, targets_, pngTarget_;
    Window window_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> claims_{0}, claimed_{0}, requests_{0};
};

std::vector<unsigned char> fileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

class X11Clipboard : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gDisplayReady) GTEST_SKIP() << "needs Xvfb and xclip";
        std::remove("screenshot.png");
    }
};

}  // namespace

// ---- Images in ----------------------------------------------------------------------------

TEST_F(X11Clipboard, NoOwnerMeansNoImage) {
    emptyClipboard();
    EXPECT_EQ(0u, pollClipboardBitmap());
    EXPECT_EQ(0, writeCaptureFile(pollClipboardBitmap()));
    EXPECT_FALSE(exists("screenshot.png"));
}

TEST_F(X11Clipboard, TextOnTheClipboardIsNoImage) {
    copyWith("sh -c 'printf hello | xclip -selection clipboard -i'");
    EXPECT_EQ(0u, pollClipboardBitmap());
    EXPECT_EQ(0u, pollClipboardBitmap());
}

TEST_F(X11Clipboard, OneCopyKeepsItsHandleAndEveryNewCopyGetsANewOne) {
    saveLetterF("f.png", FIF_PNG);
    copyImageFile("f.png");
    std::uintptr_t first = waitForNewImage(0);
    ASSERT_NE(0u, first);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(first, pollClipboardBitmap());

    copyImageFile("f.png");  // the very same bytes again
    std::uintptr_t second = waitForNewImage(first);
    EXPECT_NE(0u, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, pollClipboardBitmap());
}

TEST_F(X11Clipboard, TheSameOwnerCopyingAgainGivesANewHandle) {
    saveLetterF("f.png", FIF_PNG);
    TestOwner owner(fileBytes("f.png"), false);
    std::uintptr_t first = waitForNewImage(0);
    ASSERT_NE(0u, first);
    EXPECT_EQ(first, pollClipboardBitmap());
    owner.claim();
    std::uintptr_t second = waitForNewImage(first);
    EXPECT_NE(0u, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(1, writeCaptureFile(second));
}

TEST_F(X11Clipboard, WritesTheImageAs24BitPngWithItsOwnPixels) {
    saveLetterF("f.png", FIF_PNG);
    copyImageFile("f.png");
    std::uintptr_t handle = waitForNewImage(0);
    ASSERT_NE(0u, handle);
    ASSERT_EQ(1, writeCaptureFile(handle));
    FIBITMAP* capture = FreeImage_Load(FIF_PNG, "screenshot.png", 0);
    ASSERT_NE(nullptr, capture);
    EXPECT_EQ(FIF_PNG, FreeImage_GetFileType("screenshot.png", 0));
    EXPECT_EQ(24u, FreeImage_GetBPP(capture));
    EXPECT_EQ(40u, FreeImage_GetWidth(capture));
    EXPECT_EQ(30u, FreeImage_GetHeight(capture));
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            wrong += !(pixelAt(capture, x, y) == (inLetterF(x, y) ? kRed : kBlue));
    EXPECT_EQ(0, wrong);
    EXPECT_TRUE(pixelAt(capture, 27, 7) == kRed) << "the F's top bar is at the top";
    EXPECT_TRUE(pixelAt(capture, 27, 22) == kBlue);
    FreeImage_Unload(capture);
    EXPECT_EQ(handle, pollClipboardBitmap()) << "reading leaves the clipboard as it was";
}

TEST_F(X11Clipboard, LargeImagesArriveWhole) {
    // Noise does not compress: the 3000 x 2000 file is larger than any single X request can
    // carry, so it can only come in pieces.
    for (auto size : {std::pair<int, int>{1920, 1080}, std::pair<int, int>{3000, 2000}}) {
        saveNoise("noise.png", size.first, size.second);
        std::uintptr_t before = pollClipboardBitmap();
        copyImageFile("noise.png");
        std::uintptr_t handle = waitForNewImage(before);
        ASSERT_NE(0u, handle);
        std::remove("screenshot.png");
        ASSERT_EQ(1, writeCaptureFile(handle)) << size.first << " x " << size.second;
        EXPECT_TRUE(samePixels("noise.png", "screenshot.png")) << size.first;
    }
}

TEST_F(X11Clipboard, TakesABmpWhenNothingElseIsOffered) {
    saveLetterF("f.bmp", FIF_BMP);
    copyImageFile("f.bmp", "image/bmp");
    std::uintptr_t handle = waitForNewImage(0);
    ASSERT_NE(0u, handle);
    ASSERT_EQ(1, writeCaptureFile(handle));
    EXPECT_TRUE(samePixels("f.bmp", "screenshot.png"));
}

TEST_F(X11Clipboard, AnUndecodableImageWritesNoFile) {
    std::vector<unsigned char> garbage(5000);
    std::mt19937 random(7);
    for (auto& byte : garbage) byte = static_cast<unsigned char>(random());
    std::ofstream("garbage.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(garbage.data()), std::streamsize(garbage.size()));
    copyImageFile("garbage.png");
    std::uintptr_t handle = waitForNewImage(0);
    ASSERT_NE(0u, handle) << "an image is offered, whatever its bytes";
    EXPECT_EQ(0, writeCaptureFile(handle));
    EXPECT_FALSE(exists("screenshot.png"));

    // A PNG cut short is no better.
    saveLetterF("f.png", FIF_PNG);
    std::vector<unsigned char> png = fileBytes("f.png");
    std::ofstream("cut.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size() / 2));
    copyImageFile("cut.png");
    handle = waitForNewImage(handle);
    ASSERT_NE(0u, handle);
    EXPECT_EQ(0, writeCaptureFile(handle));
    EXPECT_FALSE(exists("screenshot.png"));
}

TEST_F(X11Clipboard, AHandleThatIsNoLongerOnTheClipboardWritesNothing) {
    saveLetterF("f.png", FIF_PNG);
    copyImageFile("f.png");
    std::uintptr_t old = waitForNewImage(0);
    ASSERT_NE(0u, old);
    copyImageFile("f.png");
    std::uintptr_t fresh = waitForNewImage(old);
    ASSERT_NE(0u, fresh);
    EXPECT_EQ(0, writeCaptureFile(old));
    EXPECT_EQ(0, writeCaptureFile(0));
    EXPECT_FALSE(exists("screenshot.png"));
    EXPECT_EQ(1, writeCaptureFile(fresh));
}

TEST_F(X11Clipboard, AnOwnerThatNeverAnswersCostsAPollOnlyAMoment) {
    saveLetterF("f.png", FIF_PNG);
    TestOwner owner(fileBytes("f.png"), true);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, pollClipboardBitmap());
    EXPECT_LT(Clock::now() - start, milliseconds(2500));
    EXPECT_GE(owner.requests(), 1);
    // Asked again only after a while, so the idle loop does not stall on every pass.
    start = Clock::now();
    EXPECT_EQ(0u, pollClipboardBitmap());
    EXPECT_LT(Clock::now() - start, milliseconds(200));
}

// ---- Text out ------------------------------------------------------------------------------

TEST_F(X11Clipboard, TextPutThereIsServedInEveryTextForm) {
    const std::string link = "http://localhost/i/Fq3x.png\r\n";
    ASSERT_EQ(1, setClipboardText(link));
    EXPECT_EQ(link, shOutput("xclip -selection clipboard -o"));
    EXPECT_EQ(link, shOutput("xclip -selection clipboard -o -t UTF8_STRING"));
    EXPECT_EQ(link, shOutput("xclip -selection clipboard -o -t STRING"));
    EXPECT_EQ(link, shOutput("xclip -selection clipboard -o -t TEXT"));
    std::string targets = shOutput("xclip -selection clipboard -o -t TARGETS");
    for (const char* target : {"TARGETS", "UTF8_STRING", "STRING", "TEXT"})
        EXPECT_NE(std::string::npos, targets.find(target)) << targets;
    EXPECT_EQ(std::string::npos, targets.find("image/")) << targets;
    EXPECT_EQ(0u, pollClipboardBitmap()) << "our own text is no image";
}

TEST_F(X11Clipboard, TextStaysServedWhileOtherClientsComeAndGo) {
    ASSERT_EQ(1, setClipboardText("http://localhost/i/stays"));
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(nullptr, other);
    XCloseDisplay(other);
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_EQ("http://localhost/i/stays", shOutput("xclip -selection clipboard -o"));
    EXPECT_EQ("http://localhost/i/stays", shOutput("xclip -selection clipboard -o"));
}

TEST_F(X11Clipboard, NewTextReplacesOldText) {
    ASSERT_EQ(1, setClipboardText("first"));
    ASSERT_EQ(1, setClipboardText("second"));
    EXPECT_EQ("second", shOutput("xclip -selection clipboard -o"));
}

TEST_F(X11Clipboard, EmptyTextLeavesTheClipboardAlone) {
    copyWith("sh -c 'printf before | xclip -selection clipboard -i'");
    EXPECT_EQ(0, setClipboardText(""));
    EXPECT_EQ("before", shOutput("xclip -selection clipboard -o"));
}

TEST_F(X11Clipboard, AnotherProgramCanTakeTheClipboardBackAndForth) {
    ASSERT_EQ(1, setClipboardText("http://localhost/i/one"));
    EXPECT_EQ(0u, pollClipboardBitmap());
    saveLetterF("f.png", FIF_PNG);
    copyImageFile("f.png");
    std::uintptr_t handle = waitForNewImage(0);
    ASSERT_NE(0u, handle) << "the image copied over our text is seen";
    EXPECT_EQ(1, writeCaptureFile(handle));
    ASSERT_EQ(1, setClipboardText("http://localhost/i/two"));
    EXPECT_EQ("http://localhost/i/two", shOutput("xclip -selection clipboard -o"));
    EXPECT_EQ(0u, pollClipboardBitmap());
}
