// The clipboard on X11: images come in from the CLIPBOARD selection, links go out by owning it.
//
// Reading runs on the program's thread over a connection of its own, opened on first use and kept
// for the life of the process. XFixes reports every change of the selection's owner; each change
// starts a new generation, and while the owner offers an image the generation is the handle. So
// the same copy keeps its handle however often it is polled, and every new copy (even of the same
// pixels, even by the same program) gets a new one. Images arrive as files (image/png preferred,
// else BMP), in one piece or incrementally (INCR).
//
// The owner is any program at all, so it is not trusted: a whole transfer is bounded in time and
// in bytes, its pieces must be 8-bit data of the type asked for, a TARGETS list is read only up
// to a length no real owner needs, and the picture is decoded only as the format its target
// names (image/clipboard_picture.h).
//
// Writing: a thread of our own, with its own connection and a hidden window, owns CLIPBOARD and
// answers TARGETS, TIMESTAMP, UTF8_STRING, STRING and TEXT until another client takes the
// selection, whether or not any window of the program exists. It ends with the process; before
// that, the program hands the text to a clipboard manager (freedesktop's CLIPBOARD_MANAGER with
// SAVE_TARGETS), which asks that thread for it like any other requestor.
//
// Every wait for another client is bounded: an owner that never answers costs a poll a second or
// two, never the program.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "desktop/clipboard.h"
#include "image/clipboard_picture.h"
#include "screen/x11_errors.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kAnswerTimeout{1500};  // for the owner's first reply to a request
constexpr milliseconds kChunkTimeout{2000};   // between two pieces of an incremental transfer
// A whole transfer, first answer to last piece. A large screenshot takes well under a second on a
// local display; an owner that trickles or stalls costs the idle loop at most this once.
constexpr milliseconds kTransferLimit{5000};
constexpr milliseconds kRetryAfterSilence{2000};  // before asking a silent owner again
// The largest picture we take, stored as a 24-bit file that does not compress at all (a BMP, a
// PNG of noise), with room for headers. Anything longer cannot be a picture we would decode.
constexpr std::size_t kMaxImageBytes = std::size_t(kMaxPicturePixels) * 3 + (std::size_t(1) << 20);
// Real owners offer a few dozen targets; only this many are looked at, so a list of thousands
// costs no more than a short one.
constexpr std::size_t kMaxTargets = 1024;
constexpr milliseconds kOwnTimeout{3000};       // for our own thread to take the selection
constexpr milliseconds kHandOverTimeout{2000};  // for a clipboard manager to copy our text

// The targets taken, best first, with the one format each is decoded as. PNG is lossless and
// compact; BMP is what many programs offer besides it. Other formats are left alone: their
// decoders are the least trusted code FreeImage links, and every screenshot tool offers PNG.
struct ImageTarget {
    const char* name;
    PictureFormat format;
};
constexpr ImageTarget kImageTargets[] = {{"image/png", PictureFormat::Png},
                                         {"image/bmp", PictureFormat::Bmp},
                                         {"image/x-bmp", PictureFormat::Bmp},
                                         {"image/x-ms-bmp", PictureFormat::Bmp}};
constexpr int kImageTargetCount = int(sizeof(kImageTargets) / sizeof(kImageTargets[0]));

// ---- X errors -------------------------------------------------------------------------------

// Requestors that vanish while we answer them, and owners that vanish while we ask them, are an
// everyday event: both connections are adopted by the program's one X error handler
// (screen/x11_errors.h), and the errors they get are dropped.

// ---- Waiting for events ---------------------------------------------------------------------

// Takes the first event that `match` accepts, waiting on the connection until `deadline`. Other
// events stay queued for their own handlers.
template <class Match>
bool waitForEvent(Display* d, XEvent* event, Clock::time_point deadline, Match match) {
    auto predicate = [](Display*, XEvent* e, XPointer arg) -> Bool {
        return (*reinterpret_cast<Match*>(arg))(*e) ? True : False;
    };
    for (;;) {
        // Flushing reads whatever has arrived into Xlib's queue, so it comes before the look at
        // the queue, never between that look and the poll: an answer read there would sit in the
        // queue unseen while the poll waits on an empty socket until the deadline.
        XFlush(d);
        if (XCheckIfEvent(d, event, predicate, reinterpret_cast<XPointer>(&match))) return true;
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        poll(&fd, 1, int(left) + 1);
    }
}

// A whole property, or false when it does not exist. Format-32 items are longs in Xlib's hands.
struct Property {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    std::vector<unsigned char> bytes;
};

// What one transfer may take: its end, and the most bytes (as the server counts them) that it
// may bring. A property longer than that is cut there; `cut` says so.
struct TransferBounds {
    Clock::time_point end;
    std::size_t maxBytes;
};

bool readProperty(Display* d, Window w, Atom name, std::size_t maxBytes, Property* out, bool* cut) {
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long units = long((maxBytes + 3) / 4);  // the request counts 32-bit units
    if (XGetWindowProperty(d, w, name, 0, units, True, AnyPropertyType, &out->type, &out->format,
                           &out->items, &after, &data) != Success)
        return false;
    *cut = after > 0;
    std::size_t size = out->format == 32   ? out->items * sizeof(long)
                       : out->format == 16 ? out->items * sizeof(short)
                                           : out->items;
    if (data) out->bytes.assign(data, data + size);
    if (data) XFree(data);
    return out->type != None;
}

// ---- Reading images -------------------------------------------------------------------------

class Reader {
  public:
    ~Reader() {
        if (display_) {
            x11ForgetConnection(display_);
            XCloseDisplay(display_);
        }
    }

    bool ready() { return display_ || connect(); }

    // Brings the owner and the generation up to date. XGetSelectionOwner is a round trip, so
    // every XFixes event sent before its reply is queued by the time it returns.
    void refresh() {
        Window owner = XGetSelectionOwner(display_, clipboard_);
        bool changed = owner != owner_;
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (isOwnerChange(event)) changed = true;
        }
        if (changed) ++generation_;
        owner_ = owner;
    }

    // Finds out, once per generation, which image format the owner offers.
    void learnOffer(Window ourOwnWindow) {
        if (known_ == generation_ || owner_ == None || owner_ == ourOwnWindow) return;
        if (silent_ == generation_ && Clock::now() < retryAt_) return;
        Property targets;
        TransferBounds bounds{Clock::now() + kAnswerTimeout, kMaxTargets * 4};
        switch (convert(targets_, &targets, bounds, false)) {
            case Answer::Silent:
                silent_ = generation_;
                retryAt_ = Clock::now() + kRetryAfterSilence;
                return;
            case Answer::Superseded:
                return;  // the next refresh starts the new owner's generation
            case Answer::Refused:
                offer_ = None;
                break;
            case Answer::Given:
                offerIndex_ = bestImageTarget(targets);
                offer_ = offerIndex_ < 0 ? None : imageTargets_[offerIndex_];
                break;
        }
        known_ = generation_;
    }

    // The current image's handle, or 0 when the selection holds no image (or holds our text).
    std::uintptr_t handle(Window ourOwnWindow) const {
        bool image =
            known_ == generation_ && offer_ != None && owner_ != None && owner_ != ourOwnWindow;
        return image ? std::uintptr_t(generation_) : 0;
    }

    // Waits until an owner change is queued (refresh() takes it) or `ms` have passed.
    bool waitForOwnerChange(int ms) {
        if (!fixesEvent_) {
            std::this_thread::sleep_for(milliseconds(ms));
            return false;
        }
        Clock::time_point deadline = Clock::now() + milliseconds(ms);
        struct Look {
            const Reader* reader;
            bool seen;
        } look{this, false};
        // Only looks: every event stays queued for refresh() and the transfers.
        auto predicate = [](Display*, XEvent* e, XPointer arg) -> Bool {
            Look* l = reinterpret_cast<Look*>(arg);
            l->seen = l->seen || l->reader->isOwnerChange(*e);
            return False;
        };
        for (;;) {
            XEvent event;
            XCheckIfEvent(display_, &event, predicate, reinterpret_cast<XPointer>(&look));
            if (look.seen) return true;
            auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, int(left));
        }
    }

    // The offered image's file bytes and the format its target names, or false when the owner
    // refuses, falls silent, runs past the bounds or sends something that is not that file.
    bool fetchImage(std::vector<unsigned char>* bytes, PictureFormat* format) {
        Property answer;
        TransferBounds bounds{Clock::now() + kTransferLimit, kMaxImageBytes};
        if (convert(offer_, &answer, bounds, true) != Answer::Given || answer.format != 8 ||
            answer.type != offer_)
            return false;
        *bytes = std::move(answer.bytes);
        *format = kImageTargets[offerIndex_].format;
        return !bytes->empty();
    }

  private:
    enum class Answer { Given, Refused, Silent, Superseded };

    bool connect() {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return false;
        x11AdoptConnection(display_);
        const char* names[] = {"CLIPBOARD", "TARGETS", "INCR", "GLIMMERIX_CLIPBOARD_IN"};
        Atom atoms[4];
        XInternAtoms(display_, const_cast<char**>(names), 4, False, atoms);
        clipboard_ = atoms[0];
        targets_ = atoms[1];
        incr_ = atoms[2];
        property_ = atoms[3];
        for (int i = 0; i < kImageTargetCount; ++i)
            imageTargets_[i] = XInternAtom(display_, kImageTargets[i].name, False);
        Window root = DefaultRootWindow(display_);
        window_ = XCreateSimpleWindow(display_, root, 0, 0, 1, 1, 0, 0, 0);
        // Property changes drive incremental transfers; they must be selected before asking.
        XSelectInput(display_, window_, PropertyChangeMask);
        int eventBase = 0, errorBase = 0, major = 5, minor = 0;
        if (XFixesQueryExtension(display_, &eventBase, &errorBase) &&
            XFixesQueryVersion(display_, &major, &minor)) {
            fixesEvent_ = eventBase + XFixesSelectionNotify;
            XFixesSelectSelectionInput(display_, window_, clipboard_,
                                       XFixesSetSelectionOwnerNotifyMask |
                                           XFixesSelectionWindowDestroyNotifyMask |
                                           XFixesSelectionClientCloseNotifyMask);
        }
        // Without XFixes only a change of owner window is seen; a program that copies again
        // keeps its old handle there.
        return true;
    }

    bool isOwnerChange(const XEvent& event) const {
        return fixesEvent_ && event.type == fixesEvent_ &&
               reinterpret_cast<const XFixesSelectionNotifyEvent&>(event).selection == clipboard_;
    }

    // The index in kImageTargets of the best target offered, or -1.
    int bestImageTarget(const Property& targets) const {
        if (targets.format != 32) return -1;
        const Atom* offered = reinterpret_cast<const Atom*>(targets.bytes.data());
        const Atom* end = offered + targets.items;
        for (int i = 0; i < kImageTargetCount; ++i)
            if (std::find(offered, end, imageTargets_[i]) != end) return i;
        return -1;
    }

    // Asks the owner for `target` and collects its answer within `bounds`, incremental transfers
    // included where `incremental` allows them.
    Answer convert(Atom target, Property* out, const TransferBounds& bounds, bool incremental) {
        // An answer to an earlier request that came too late must not pass for this one.
        XEvent stale;
        while (XCheckTypedWindowEvent(display_, window_, SelectionNotify, &stale)) {
        }
        XDeleteProperty(display_, window_, property_);
        XConvertSelection(display_, clipboard_, target, property_, window_, CurrentTime);
        XEvent event;
        // A new owner ends the wait too: an owner that loses the selection often quits without
        // answering what it was still asked.
        Clock::time_point answerBy = std::min(Clock::now() + kAnswerTimeout, bounds.end);
        bool answered = waitForEvent(display_, &event, answerBy, [&](XEvent& e) {
            return (e.type == SelectionNotify && e.xselection.requestor == window_ &&
                    e.xselection.selection == clipboard_ && e.xselection.target == target) ||
                   isOwnerChange(e);
        });
        if (!answered) return Answer::Silent;
        if (isOwnerChange(event)) {
            XPutBackEvent(display_, &event);  // for refresh() to count
            return Answer::Superseded;
        }
        if (event.xselection.property == None) return Answer::Refused;
        // Reading deletes the property, which tells an incremental owner to send the first piece.
        bool cut = false;
        if (!readProperty(display_, window_, property_, bounds.maxBytes, out, &cut))
            return Answer::Refused;
        // A TARGETS list is read as far as it goes; a picture cut short is no picture.
        if (out->type != incr_) return cut && incremental ? Answer::Refused : Answer::Given;
        if (!incremental) return Answer::Refused;
        return receivePieces(out, bounds) ? Answer::Given : Answer::Silent;
    }

    // Each new value of the property is the next piece; an empty one ends the transfer. Events
    // only prompt a look: whatever the property holds is taken in order, so a notice that
    // arrives after its piece was already read finds nothing and is passed over.
    bool receivePieces(Property* out, const TransferBounds& bounds) {
        out->bytes.clear();
        out->type = None;
        for (;;) {
            Clock::time_point deadline = std::min(Clock::now() + kChunkTimeout, bounds.end);
            XEvent event;
            if (!waitForEvent(display_, &event, deadline, [&](XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == window_ &&
                           e.xproperty.atom == property_ && e.xproperty.state == PropertyNewValue;
                }))
                return false;
            Property piece;
            bool cut = false;
            std::size_t room = bounds.maxBytes - out->bytes.size();
            if (!readProperty(display_, window_, property_, room, &piece, &cut)) continue;
            if (piece.bytes.empty()) return out->type != None;
            // Every piece must be like the first; a change midway is not one file.
            if (cut || piece.format != 8) return false;
            if (out->type != None && piece.type != out->type) return false;
            out->type = piece.type;
            out->format = piece.format;
            out->bytes.insert(out->bytes.end(), piece.bytes.begin(), piece.bytes.end());
            out->items = out->bytes.size();
        }
    }

    Display* display_ = nullptr;
    Window window_ = None;
    Atom clipboard_ = None, targets_ = None, incr_ = None, property_ = None;
    Atom imageTargets_[kImageTargetCount] = {};
    int fixesEvent_ = 0;  // 0 without XFixes

    Window owner_ = None;
    std::uint64_t generation_ = 1;  // never 0, so a handle is never 0
    std::uint64_t known_ = 0;       // the generation whose offer is known
    Atom offer_ = None;             // that generation's best image target
    int offerIndex_ = -1;           // its index in kImageTargets
    std::uint64_t silent_ = 0;      // a generation whose owner did not answer in time
    Clock::time_point retryAt_;
};

Reader& reader() {
    static Reader instance;
    return instance;
}

// ---- Owning the selection -------------------------------------------------------------------

class Owner {
  public:
    ~Owner() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!thread_.joinable()) return;
        quit_ = true;
        wake();
        lock.unlock();
        thread_.join();
        x11ForgetConnection(display_);
        XCloseDisplay(display_);
        close(wake_[0]);
        close(wake_[1]);
    }

    // The hidden window that owns the selection while we do; None before the first text.
    Window window() const { return window_.load(); }

    bool own(const std::string& text) {
        if (text.empty()) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!thread_.joinable() && !start()) return false;
        if (text.size() > maxBytes_) return false;
        pending_ = text;
        unsigned ticket = ++requested_;
        wake();
        if (!done_.wait_for(lock, kOwnTimeout, [&] { return served_ >= ticket; })) return false;
        return result_;
    }

    // Asks the serving thread to hand our text to a clipboard manager and waits for the outcome.
    bool handOver() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!thread_.joinable()) return false;
        unsigned ticket = ++handOversRequested_;
        wake();
        if (!done_.wait_for(lock, kHandOverTimeout + kAnswerTimeout,
                            [&] { return handOversServed_ >= ticket; }))
            return false;
        return handOverResult_;
    }

  private:
    // Called with the mutex held; the thread starts last, so everything set here is visible to it.
    bool start() {
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        display_ = XOpenDisplay(nullptr);
        if (!display_) {
            close(wake_[0]);
            close(wake_[1]);
            return false;
        }
        x11AdoptConnection(display_);
        const char* names[] = {"CLIPBOARD",   "TARGETS", "TIMESTAMP",
                               "UTF8_STRING", "TEXT",    "GLIMMERIX_CLIPBOARD_TIME"};
        Atom atoms[6];
        XInternAtoms(display_, const_cast<char**>(names), 6, False, atoms);
        clipboard_ = atoms[0];
        targets_ = atoms[1];
        timestamp_ = atoms[2];
        utf8_ = atoms[3];
        textTarget_ = atoms[4];
        timeProperty_ = atoms[5];
        Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(display_, w, PropertyChangeMask);
        // The text must fit one property change; requests larger than that would be split into
        // pieces, which a link never needs.
        long units = XExtendedMaxRequestSize(display_);
        if (units == 0) units = XMaxRequestSize(display_);
        maxBytes_ = std::size_t(units) * 4 - 1024;
        XFlush(display_);
        window_ = w;
        thread_ = std::thread([this] { serve(); });
        return true;
    }

    void wake() {
        char byte = 1;
        (void)!write(wake_[1], &byte, 1);
    }

    void serve() {
        for (;;) {
            std::string text;
            unsigned ticket = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (quit_) return;
                if (served_ != requested_) {
                    text = pending_;
                    ticket = requested_;
                }
            }
            if (ticket) {
                bool result = take(text);
                std::lock_guard<std::mutex> lock(mutex_);
                served_ = ticket;
                result_ = result;
                done_.notify_all();
            }
            serveHandOver();
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == SelectionRequest) answer(event.xselectionrequest);
                if (event.type == SelectionClear) lose(event.xselectionclear);
            }
            pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            poll(fds, 2, -1);
            char drain[64];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
    }

    // A server timestamp for the ownership, from a property change of our own: the selection
    // rules ask owners not to claim it at CurrentTime.
    Time serverTime() {
        Window w = window_.load();
        XChangeProperty(display_, w, timeProperty_, XA_STRING, 8, PropModeAppend, nullptr, 0);
        XEvent event;
        bool seen = waitForEvent(display_, &event, Clock::now() + kAnswerTimeout, [&](XEvent& e) {
            return e.type == PropertyNotify && e.xproperty.window == w &&
                   e.xproperty.atom == timeProperty_;
        });
        return seen ? event.xproperty.time : CurrentTime;
    }

    bool take(const std::string& text) {
        Window w = window_.load();
        offeredText_ = text;
        since_ = serverTime();
        XSetSelectionOwner(display_, clipboard_, w, since_);
        owning_ = XGetSelectionOwner(display_, clipboard_) == w;
        return owning_;
    }

    // Another client took the selection. A notice that predates our latest claim is ignored.
    void lose(const XSelectionClearEvent& clear) {
        if (clear.selection != clipboard_) return;
        if (XGetSelectionOwner(display_, clipboard_) != window_.load()) owning_ = false;
    }

    bool answerable(const XSelectionRequestEvent& request) const {
        // Requests stamped before our claim are for an earlier owner. (Times wrap every 49 days.)
        bool inTime = request.time == CurrentTime || since_ == CurrentTime ||
                      std::int32_t(std::uint32_t(request.time - since_)) >= 0;
        return owning_ && request.selection == clipboard_ && request.owner == window_.load() &&
               inTime;
    }

    // Puts the requested form on the requestor's property; false for a target we do not offer.
    bool fill(Window requestor, Atom property, Atom target) {
        if (target == targets_) {
            Atom offered[] = {targets_, timestamp_, utf8_, XA_STRING, textTarget_};
            XChangeProperty(display_, requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(offered), 5);
            return true;
        }
        if (target == timestamp_) {
            long time = long(since_);
            XChangeProperty(display_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&time), 1);
            return true;
        }
        if (target != utf8_ && target != XA_STRING && target != textTarget_) return false;
        // Links are ASCII, the same bytes in every encoding; TEXT lets the owner choose.
        Atom type = target == XA_STRING ? XA_STRING : utf8_;
        XChangeProperty(display_, requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offeredText_.data()),
                        int(offeredText_.size()));
        return true;
    }

    void answer(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = None;
        // Clients from before the selection rules named no property; the target serves as one.
        Atom property = request.property != None ? request.property : request.target;
        if (answerable(request) && fill(request.requestor, property, request.target))
            reply.xselection.property = property;
        XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
        XFlush(display_);
    }

    // ---- Handing over to a clipboard manager ----

    void serveHandOver() {
        unsigned ticket = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ticket = handOversRequested_;
            if (ticket == handOversServed_) return;
        }
        bool result = giveToManager();
        std::lock_guard<std::mutex> lock(mutex_);
        handOversServed_ = ticket;
        handOverResult_ = result;
        done_.notify_all();
    }

    // The manager asks us for the targets named on our window, as any requestor would, and then
    // says whether it saved them. We keep answering until then, or until the time is up.
    bool giveToManager() {
        if (!owning_) return false;
        const char* names[] = {"CLIPBOARD_MANAGER", "SAVE_TARGETS", "GLIMMERIX_SAVE_TARGETS"};
        Atom atoms[3];
        XInternAtoms(display_, const_cast<char**>(names), 3, False, atoms);
        const Atom manager = atoms[0], save = atoms[1], property = atoms[2];
        if (XGetSelectionOwner(display_, manager) == None) return false;
        Window w = window_.load();
        Atom saved[] = {utf8_, XA_STRING};
        XChangeProperty(display_, w, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(saved), 2);
        XConvertSelection(display_, manager, save, property, w, since_);
        Clock::time_point deadline = Clock::now() + kHandOverTimeout;
        XEvent event;
        while (waitForEvent(display_, &event, deadline, [&](XEvent& e) {
            return e.type == SelectionRequest || e.type == SelectionClear ||
                   (e.type == SelectionNotify && e.xselection.selection == manager);
        })) {
            if (event.type == SelectionRequest) answer(event.xselectionrequest);
            if (event.type == SelectionClear) lose(event.xselectionclear);
            if (event.type == SelectionNotify) return event.xselection.property != None;
        }
        return false;
    }

    unsigned handOversRequested_ = 0;
    unsigned handOversServed_ = 0;
    bool handOverResult_ = false;

    std::mutex mutex_;
    std::condition_variable done_;
    std::string pending_;
    unsigned requested_ = 0;
    unsigned served_ = 0;
    bool result_ = false;
    bool quit_ = false;
    int wake_[2] = {-1, -1};
    std::thread thread_;

    // Set before the thread starts, then used by the thread alone.
    Display* display_ = nullptr;
    std::atomic<Window> window_{None};
    std::size_t maxBytes_ = 0;
    Atom clipboard_ = None, targets_ = None, timestamp_ = None, utf8_ = None, textTarget_ = None;
    Atom timeProperty_ = None;

    // The serving thread's own state.
    std::string offeredText_;
    Time since_ = CurrentTime;
    bool owning_ = false;
};

Owner& owner() {
    static Owner instance;
    return instance;
}

}  // namespace

std::uintptr_t pollClipboardBitmap() {
    Reader& r = reader();
    if (!r.ready()) return 0;
    r.refresh();
    Window ours = owner().window();
    r.learnOffer(ours);
    return r.handle(ours);
}

bool waitForClipboardChange(int ms) {
    Reader& r = reader();
    if (r.ready()) return r.waitForOwnerChange(ms);
    std::this_thread::sleep_for(milliseconds(ms));
    return false;
}

Picture readClipboardPicture(std::uintptr_t handle) {
    Reader& r = reader();
    if (handle == 0 || !r.ready()) return nullptr;
    r.refresh();
    Window ours = owner().window();
    if (r.handle(ours) != handle) return nullptr;  // that copy is gone
    std::vector<unsigned char> bytes;
    PictureFormat format = PictureFormat::Png;
    if (!r.fetchImage(&bytes, &format)) return nullptr;
    // A copy made during the transfer may have mixed into it; the new one gets its own turn.
    r.refresh();
    if (r.handle(ours) != handle) return nullptr;
    return Picture(decodeClipboardPicture(bytes.data(), bytes.size(), format));
}

bool setClipboardText(const std::string& text) {
    return owner().own(text);
}

bool handOverClipboard() {
    return owner().handOver();
}
