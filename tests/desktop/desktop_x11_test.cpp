// The X11 clipboard and work area on one private X server, as the clipboard keeps its connection.
#include "../editor/editor_fixture.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <cstdio>
#include <cstring>

#include "desktop/clipboard.h"
#include "desktop/desktop.h"
#include "screen/x11_errors.h"

namespace {

std::string shOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(("timeout 10 " + command).c_str(), "r");
    for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) out += char(c);
    if (pipe) pclose(pipe);
    return out;
}

// Whether `actual` is a 24-bit picture of the same pixels as the file `bytes`.
bool pictureHolds(FIBITMAP* actual, std::vector<unsigned char> bytes) {
    FIMEMORY* memory = FreeImage_OpenMemory(bytes.data(), DWORD(bytes.size()));
    FIBITMAP* expected = FreeImage_LoadFromMemory(FreeImage_GetFileTypeFromMemory(memory), memory);
    bool same = expected && actual && FreeImage_GetBPP(actual) == 24 &&
                FreeImage_GetWidth(expected) == FreeImage_GetWidth(actual) &&
                FreeImage_GetHeight(expected) == FreeImage_GetHeight(actual) &&
                std::memcmp(FreeImage_GetBits(expected), FreeImage_GetBits(actual),
                            FreeImage_GetPitch(actual) * FreeImage_GetHeight(actual)) == 0;
    FreeImage_CloseMemory(memory);
    if (expected) FreeImage_Unload(expected);
    return same;
}

Atom atom(Display* d, const char* name) {
    return XInternAtom(d, name, False);
}

// The bytes of property `name` of `w`; 32-bit items come as longs, as Xlib hands them out.
std::string property(Display* d, Window w, Atom name) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(d, w, name, 0, 1 << 20, False, AnyPropertyType, &type, &format, &items,
                       &after, &data);
    std::size_t unit = format == 32 ? sizeof(long) : std::size_t(format / 8);
    std::string bytes(reinterpret_cast<char*>(data), data ? items * unit : 0);
    if (data) XFree(data);
    return bytes;
}

// What a clipboard owner offers and how it behaves; the defaults are an honest owner.
struct Offer {
    std::vector<unsigned char> bytes;
    const char* target = "image/png";
    Atom type = None;  // of the answer; None: the target, as every program does
    int format = 8;
    enum Mode { Whole, Pieces, StallAfterOnePiece, Trickle, Silent } mode = Whole;
    int targets = 2;  // length of the TARGETS list, which ends with the image target
    // CLIPBOARD_MANAGER: a manager; asked to save, it fetches the first target listed, says done.
    const char* selection = "CLIPBOARD";
};

// An owner with its own connection and thread; claim() copies anew. INCR pieces wait for deletes.
class TestOwner {
  public:
    explicit TestOwner(Offer offer) : offer_(std::move(offer)) {
        claim();
        thread_ = std::thread([this] { serve(); });
    }
    ~TestOwner() {
        stop_ = true;
        thread_.join();
        XCloseDisplay(d_);
    }
    void claim() {
        std::lock_guard<std::mutex> lock(mutex_);
        XSetSelectionOwner(d_, atom(d_, offer_.selection), window_, CurrentTime);
        XSync(d_, False);
    }
    std::string saved() {
        std::lock_guard<std::mutex> lock(mutex_);
        return saved_;
    }
    std::atomic<int> requests{0};

  private:
    void serve() {
        for (Clock::time_point next = Clock::now(); !stop_; poll(&fd_, 1, 5)) {
            std::lock_guard<std::mutex> lock(mutex_);
            for (XEvent e; XPending(d_);) {
                XNextEvent(d_, &e);
                if (e.type == SelectionRequest) answer(e.xselectionrequest);
                if (e.type == SelectionNotify) {  // the text the manager fetched has come
                    saved_ = property(d_, window_, atom(d_, "KEPT"));
                    notify(saving_, saving_.property);
                }
                ready_ |= e.type == PropertyNotify && e.xproperty.state == PropertyDelete &&
                          e.xproperty.window == to_ && e.xproperty.atom == property_ &&
                          (sent_ == 0 || offer_.mode != Offer::StallAfterOnePiece);
            }
            if (!ready_ || Clock::now() < next || sent_ > offer_.bytes.size()) continue;
            bool slow = offer_.mode == Offer::Trickle;
            std::size_t n = std::min(offer_.bytes.size() - sent_, std::size_t(slow ? 64 : 65536));
            put(to_, property_, target_, 8, offer_.bytes.data() + sent_, int(n));
            sent_ += n ? n : 1;  // past the end once the empty piece has gone
            ready_ = false;
            next = Clock::now() + milliseconds(slow ? 100 : 0);
        }
    }
    void put(Window w, Atom property, Atom type, int format, const void* data, int items) {
        XChangeProperty(d_, w, property, type, format, PropModeReplace,
                        static_cast<const unsigned char*>(data), items);
        XFlush(d_);
    }
    // Tells the requestor its answer is on `property`, or (None) that there is none.
    void notify(const XSelectionRequestEvent& r, Atom property) {
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0,        True,     d_,    r.requestor,
                            r.selection,     r.target, property, r.time};
        XSendEvent(d_, r.requestor, False, NoEventMask, &reply);
        XFlush(d_);
    }
    void answer(const XSelectionRequestEvent& request) {
        ++requests;
        if (offer_.mode == Offer::Silent) return;
        Atom targets = atom(d_, "TARGETS");
        long size = long(offer_.bytes.size()), unit = offer_.format == 32 ? 8 : offer_.format / 8;
        if (request.target == atom(d_, "SAVE_TARGETS")) {
            Atom first = None;
            std::string listed = property(d_, request.requestor, request.property);
            std::memcpy(&first, listed.data(), std::min(listed.size(), sizeof first));
            XConvertSelection(d_, atom(d_, "CLIPBOARD"), first, atom(d_, "KEPT"), window_,
                              CurrentTime);
            saving_ = request;
            return;
        }
        if (request.target == targets) {
            std::vector<long> list(std::size_t(offer_.targets), long(XA_STRING));
            list.front() = long(targets);
            list.back() = long(target_);
            put(request.requestor, request.property, XA_ATOM, 32, list.data(), offer_.targets);
        } else if (request.target == target_ && offer_.mode != Offer::Whole) {
            to_ = request.requestor, property_ = request.property, sent_ = 0;
            XSelectInput(d_, to_, PropertyChangeMask);
            put(to_, property_, atom(d_, "INCR"), 32, &size, 1);
        } else if (request.target == target_) {
            put(request.requestor, request.property, offer_.type ? offer_.type : target_,
                offer_.format, offer_.bytes.data(), int(size / unit));
        }
        bool known = request.target == targets || request.target == target_;
        notify(request, known ? request.property : None);
    }

    Offer offer_;
    Display* d_ = XOpenDisplay(nullptr);
    pollfd fd_{ConnectionNumber(d_), POLLIN, 0};
    Window window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0);
    Atom target_ = atom(d_, offer_.target);
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    Window to_ = None;  // the incremental transfer under way: to whom, on which property, how far
    Atom property_ = None;
    std::size_t sent_ = 0;
    bool ready_ = false;
    XSelectionRequestEvent saving_{};  // the manager's request being served
    std::string saved_;
};

// Polls as the idle loop would until the clipboard's image (0: none) is other than `previous`.
std::uintptr_t waitForChange(std::uintptr_t previous) {
    std::uintptr_t handle = previous;
    eventually([&] { return (handle = pollClipboardBitmap()) != previous; }, 5000);
    return handle;
}

}  // namespace

TEST(X11Clipboard, EachCopyHasAHandleOfItsOwnAndNoOwnerIsNoImage) {
    std::uintptr_t first = 0, second = 0;
    {
        TestOwner owner(Offer{pictureBytes(FIF_PNG, 40, 30)});
        first = waitForChange(0);
        ASSERT_NE(0u, first);
        EXPECT_FALSE(waitForClipboardChange(100)) << "nothing new since the poll";
        owner.claim();  // the same program copying again
        EXPECT_TRUE(waitForClipboardChange(30000)) << "the copy ends the wait";
        second = waitForChange(first);
        EXPECT_TRUE(second != 0 && second != first);
        EXPECT_FALSE(readClipboardPicture(first)) << "that copy is gone";
        EXPECT_TRUE(readClipboardPicture(second));
    }
    EXPECT_EQ(0u, waitForChange(second)) << "the owner has gone";
}

// Honest owners' PNG or BMP, whole or in pieces, arrive pixel for pixel as 24-bit pictures; hostile
// transfers cost at most their bounds and yield none (hostile bytes: the image tests' rows).
TEST(X11Clipboard, PicturesArriveWholeAndHostileOwnersCostABoundedWhile) {
    const auto png = pictureBytes(FIF_PNG, 40, 30), big = pictureBytes(FIF_PNG, 1000, 1000);
    const char* P = "image/png";
    const Offer::Mode I = Offer::Pieces;
    const struct {
        const char* what;
        Offer offer;
        int written, seconds;
    } cases[] = {
        {"BMP", {pictureBytes(FIF_BMP, 40, 30), "image/bmp"}, 1, 1},
        {"3000 x 2000 in pieces", {pictureBytes(FIF_PNG, 3000, 2000), P, None, 8, I}, 1, 5},
        {"16-bit items", {png, P, None, 16}, 0, 1},
        {"of type STRING", {png, P, XA_STRING}, 0, 1},
        {"stalling mid-INCR", {png, P, None, 8, Offer::StallAfterOnePiece}, 0, 3},
        {"trickling INCR", {big, P, None, 8, Offer::Trickle}, 0, 6},
        {"PNG after them", {png}, 1, 1},
    };
    std::uintptr_t handle = 0;
    for (const auto& c : cases) {
        TestOwner owner(c.offer);
        handle = waitForChange(handle);
        Clock::time_point start = Clock::now();
        Picture picture = readClipboardPicture(handle);
        ASSERT_EQ(c.written == 1, picture != nullptr) << c.what;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(c.seconds)) << c.what;
        EXPECT_EQ(c.written == 1, pictureHolds(picture.get(), c.offer.bytes)) << c.what;
    }
}

// 100000 targets cost a poll a moment; a silent owner costs 1.5 s once, then none for a while.
TEST(X11Clipboard, SilentAndLongWindedOwnersCostAPollOnlyAMoment) {
    Offer many{pictureBytes(FIF_PNG, 4, 4)}, silent = many;
    many.targets = 100000;  // image/png comes last, beyond any list a real owner sends
    silent.mode = Offer::Silent;
    std::unique_ptr<TestOwner> owner = std::make_unique<TestOwner>(many);
    for (int bound : {1000, 2500, 1000}) {
        if (bound == 2500) owner = std::make_unique<TestOwner>(silent);
        EXPECT_LT(timed([] { EXPECT_EQ(0u, pollClipboardBitmap()); }), milliseconds(bound));
    }
    EXPECT_GE(owner->requests, 1);
}

TEST(X11Clipboard, TextIsServedInEveryTextFormUntilTakenAndHandedToAClipboardManager) {
    const std::string link = "http://localhost/i/Fq3x.png\r\n";
    ASSERT_TRUE(setClipboardText("first"));
    ASSERT_TRUE(setClipboardText(link));
    EXPECT_FALSE(setClipboardText("")) << "empty text leaves the clipboard alone";
    XCloseDisplay(XOpenDisplay(nullptr));  // other clients come and go
    for (const char* target : {"", "-t UTF8_STRING", "-t STRING", "-t TEXT"})
        EXPECT_EQ(link, shOutput(std::string("xclip -selection clipboard -o ") + target));
    std::string targets = shOutput("xclip -selection clipboard -o -t TARGETS");
    for (const char* target : {"TARGETS", "UTF8_STRING", "STRING", "TEXT"})
        EXPECT_NE(std::string::npos, targets.find(target)) << targets;
    EXPECT_EQ(std::string::npos, targets.find("image/")) << targets;
    EXPECT_EQ(0u, pollClipboardBitmap()) << "our own text is no image";
    {
        TestOwner owner(Offer{pictureBytes(FIF_PNG, 4, 4)});
        EXPECT_TRUE(readClipboardPicture(waitForChange(0))) << "an image copied over our text";
    }
    ASSERT_TRUE(setClipboardText("http://localhost/i/two"));
    EXPECT_EQ("http://localhost/i/two", shOutput("xclip -selection clipboard -o"));
    // The link is handed to a clipboard manager when one runs; a silent one costs a few seconds.
    EXPECT_FALSE(handOverClipboard()) << "no manager runs";
    Offer manager;
    manager.selection = "CLIPBOARD_MANAGER";
    {
        TestOwner answering(manager);
        EXPECT_TRUE(handOverClipboard());
        EXPECT_EQ("http://localhost/i/two", answering.saved());
    }
    ASSERT_TRUE(setClipboardText("http://example.org/b2"));
    manager.mode = Offer::Silent;
    TestOwner silent(manager);
    EXPECT_LT(timed([] { EXPECT_FALSE(handOverClipboard()); }), std::chrono::seconds(4));
}

// The current desktop's work area, or the first one's past those published (a read there is an
// X error). Published: the current desktop, then x, y, width, height per desktop.
TEST(X11Desktop, WorkAreaIsTheCurrentDesktopsOrElseTheFirst) {
    ASSERT_TRUE(openDesktop());
    Display* d = XOpenDisplay(nullptr);
    struct Case {
        std::vector<long> published;
        std::vector<int> expected;
    };
    for (Case c : {Case{{1, 0, 0, 800, 600, 10, 20, 1000, 700}, {10, 20, 1010, 720}},
                   Case{{3, 5, 6, 1000, 700}, {5, 6, 1005, 706}}}) {
        for (int i : {0, 1})
            XChangeProperty(d, DefaultRootWindow(d),
                            atom(d, i ? "_NET_WORKAREA" : "_NET_CURRENT_DESKTOP"), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<unsigned char*>(&c.published[i]),
                            i ? int(c.published.size()) - 1 : 1);
        XSync(d, False);
        std::vector<int> area(4, -1);
        ASSERT_TRUE(queryWorkArea(&area[0], &area[1], &area[2], &area[3]));
        EXPECT_EQ(c.expected, area);
    }
    XCloseDisplay(d);
}

// Each connection keeps its own errors until they are taken; none of them ends the process.
TEST(X11Errors, KeptPerConnectionAndTakenOnce) {
    Display *a = XOpenDisplay(nullptr), *b = XOpenDisplay(nullptr);
    ASSERT_TRUE(a && b);
    for (Display* d : {a, b}) x11AdoptConnection(d);
    XMapWindow(a, 0x1FFFFFFF);  // no such window
    EXPECT_EQ(BadWindow, x11TakeError(a));
    EXPECT_EQ(Success, x11TakeError(a)) << "taken once";
    EXPECT_EQ(Success, x11TakeError(b)) << "another connection's error is not this one's";
    for (Display* d : {a, b}) {
        x11ForgetConnection(d);
        XCloseDisplay(d);
    }
}
