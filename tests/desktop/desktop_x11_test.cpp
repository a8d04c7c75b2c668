// The X11 desktop on the private X server the executable runs on (xvfb-run), beside the clipboard
// tests: root properties that window managers publish, and a clipboard manager peer of our own.
// GoogleTest comes before Xlib, whose macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "desktop/clipboard.h"
#include "desktop/desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

Atom atom(Display* d, const char* name) {
    return XInternAtom(d, name, False);
}

// The next event, waiting up to `ms`.
bool nextEvent(Display* d, XEvent* event, int ms) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!XPending(d)) {
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || poll(&fd, 1, int(left.count())) <= 0) return false;
    }
    XNextEvent(d, event);
    return true;
}

std::vector<long> property(Display* d, Window w, Atom name) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, w, name, 0, 1024, False, AnyPropertyType, &type, &format, &items, &after,
                       &data);
    std::vector<long> out;
    if (data && format == 32)
        out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + items);
    if (data && format == 8) out.assign(data, data + items);
    if (data) XFree(data);
    return out;
}

class X11Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        display_ = XOpenDisplay(nullptr);
        if (!display_) GTEST_SKIP() << "needs Xvfb";
        ASSERT_EQ(1, openDesktop());
    }
    void TearDown() override {
        if (display_) XCloseDisplay(display_);
    }
    void setCardinals(const char* name, std::vector<long> values) {
        XChangeProperty(display_, DefaultRootWindow(display_), atom(display_, name), XA_CARDINAL,
                        32, PropModeReplace, reinterpret_cast<unsigned char*>(values.data()),
                        int(values.size()));
        XSync(display_, False);
    }
    Display* display_ = nullptr;
};

struct WorkAreaCase {
    const char* name;
    long currentDesktop;
    std::vector<long> areas;  // x, y, width, height per desktop
    int left, top, right, bottom;
};

void PrintTo(const WorkAreaCase& c, std::ostream* out) {
    *out << c.name;
}

class X11WorkArea : public X11Desktop, public ::testing::WithParamInterface<WorkAreaCase> {};

TEST_P(X11WorkArea, IsTheCurrentDesktopsOrElseTheFirst) {
    const WorkAreaCase& c = GetParam();
    setCardinals("_NET_CURRENT_DESKTOP", {c.currentDesktop});
    setCardinals("_NET_WORKAREA", c.areas);
    int left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_EQ(1, queryWorkArea(&left, &top, &right, &bottom));
    EXPECT_EQ((std::vector<int>{c.left, c.top, c.right, c.bottom}),
              (std::vector<int>{left, top, right, bottom}));
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, X11WorkArea,
    ::testing::Values(
        WorkAreaCase{"Published", 1, {0, 0, 800, 600, 10, 20, 1000, 700}, 10, 20, 1010, 720},
        // Past the published entries: a read there is an X error.
        WorkAreaCase{"PastThePublished", 3, {5, 6, 1000, 700}, 5, 6, 1005, 706}),
    [](const auto& info) { return std::string(info.param.name); });

// A clipboard manager as the freedesktop rules describe one, cut down to one text target: asked
// to save, it converts CLIPBOARD to the first target listed on the requestor's property, keeps
// the text and reports success. A silent one never answers.
class ManagerPeer {
  public:
    explicit ManagerPeer(bool answers) : answers_(answers) {
        d_ = XOpenDisplay(nullptr);
        w_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(d_, atom(d_, "CLIPBOARD_MANAGER"), w_, CurrentTime);
        XSync(d_, False);
        thread_ = std::thread([this] { serve(); });
    }
    ~ManagerPeer() {
        stop_ = true;
        thread_.join();
        XCloseDisplay(d_);
    }
    std::string saved;

  private:
    void serve() {
        XEvent event;
        while (!stop_) {
            if (!nextEvent(d_, &event, 50) || event.type != SelectionRequest) continue;
            const XSelectionRequestEvent request = event.xselectionrequest;
            if (!answers_ || request.target != atom(d_, "SAVE_TARGETS")) continue;
            std::vector<long> targets = property(d_, request.requestor, request.property);
            Atom kept = atom(d_, "PEER_KEPT");
            if (!targets.empty())
                XConvertSelection(d_, atom(d_, "CLIPBOARD"), Atom(targets[0]), kept, w_,
                                  CurrentTime);
            while (!targets.empty() && nextEvent(d_, &event, 2000) &&
                   event.type != SelectionNotify) {
            }
            for (long c : property(d_, w_, kept)) saved += char(c);
            XEvent reply{};
            reply.xselection = {SelectionNotify,
                                0,
                                True,
                                d_,
                                request.requestor,
                                request.selection,
                                request.target,
                                request.property,
                                request.time};
            XSendEvent(d_, request.requestor, False, NoEventMask, &reply);
            XFlush(d_);
        }
    }
    bool answers_;
    Display* d_;
    Window w_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(X11Desktop, TheLinkIsHandedToAClipboardManager) {
    ASSERT_EQ(1, setClipboardText("http://example.org/a1"));
    EXPECT_EQ(0, handOverClipboard()) << "no manager runs";
    ManagerPeer manager(true);
    EXPECT_EQ(1, handOverClipboard());
    EXPECT_EQ("http://example.org/a1", manager.saved);
}

TEST_F(X11Desktop, ASilentClipboardManagerIsWaitedForAFewSecondsAtMost) {
    ASSERT_EQ(1, setClipboardText("http://example.org/b2"));
    ManagerPeer manager(false);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(0, handOverClipboard());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
}

}  // namespace
