// X11 window backend.
//
// Each window has its own Xlib connection, used only by the screen layer's window thread, so no
// XInitThreads is needed. Supported: TrueColor visuals of any depth (a 24-bit visual with 32-bit
// pixels takes the screen buffer row by row as it is; others get each pixel converted), MIT-SHM
// presentation with plain XPutImage as the fallback for remote servers, keys through
// XLookupString (code page 437 characters and BIOS extended codes), three buttons and the wheel,
// focus, enter/leave and the window manager's close command.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "screen/alt_keys.h"
#include "screen/cp437.h"
#include "screen/keymap_x11.h"
#include "screen/screen_input.h"
#include "screen/window_backend.h"
#include "screen/x11_errors.h"

namespace {

constexpr long kWindowEvents = KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                               PointerMotionMask | EnterWindowMask | LeaveWindowMask |
                               FocusChangeMask | ExposureMask | StructureNotifyMask;
constexpr unsigned int kGrabEvents =
    ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;

// Without a window manager the window maps at once; with one it may take a few frames.
constexpr auto kMapTimeout = std::chrono::milliseconds(2000);

// ---- Pixel formats ----------------------------------------------------------------------------

struct Channel {
    int shift;
    int bits;
};

Channel channelOf(unsigned long mask) {
    Channel channel{0, 0};
    if (mask == 0) return channel;
    while (!(mask & 1)) {
        mask >>= 1;
        ++channel.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++channel.bits;
    }
    return channel;
}

// Widens or narrows an 8-bit channel value to the visual's channel width.
unsigned long scaleChannel(std::uint32_t value, Channel channel) {
    if (channel.bits <= 8) return (value >> (8 - channel.bits)) << channel.shift;
    const std::uint32_t wide = (value << (channel.bits - 8)) | (value >> (16 - channel.bits));
    return static_cast<unsigned long>(wide) << channel.shift;
}

int hostByteOrder() {
    const std::uint32_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first ? LSBFirst : MSBFirst;
}

// ---- Titles -----------------------------------------------------------------------------------

void appendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

// ---- Exposed areas ----------------------------------------------------------------------------

// The union of the rectangles the server asked to have repainted in one pump; right and bottom
// are exclusive.
struct Area {
    int left = INT_MAX;
    int top = INT_MAX;
    int right = INT_MIN;
    int bottom = INT_MIN;

    void add(int x, int y, int width, int height) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + width);
        bottom = std::max(bottom, y + height);
    }
    void clip(int width, int height) {
        left = std::max(left, 0);
        top = std::max(top, 0);
        right = std::min(right, width);
        bottom = std::min(bottom, height);
    }
    bool empty() const { return left >= right || top >= bottom; }
};

// Floor division by two, so a window wider than the display still lands half off each side.
int centredOffset(int outer, int inner) {
    const int difference = outer - inner;
    return difference >= 0 ? difference / 2 : -((1 - difference) / 2);
}

}  // namespace

struct NativeWindow {
    Display* display = nullptr;
    Window window = 0;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;  // only when the visual is not the screen's default
    GC gc = nullptr;
    int width = 0;
    int height = 0;

    XImage* image = nullptr;
    Area unshown;  // copied into the image under the screen lock, put by flushWindow after it
    XShmSegmentInfo shm{};
    bool shared = false;        // the image lives in a segment the server has attached
    bool directCopy = false;    // the image's pixels have the screen buffer's layout
    bool imageWritten = false;  // rows have been copied in; before that it is all black
    Channel red{}, green{}, blue{};

    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom netWmName = 0;
    Atom utf8String = 0;

    bool pointerGrabbed = false;
    bool insideKnown = false;
};

namespace {

// ---- Window set-up ----------------------------------------------------------------------------

// The screen buffer is true colour; a visual with a palette cannot show it faithfully, so such a
// default visual is passed over for a TrueColor one of the same screen.
bool chooseVisual(NativeWindow* w, int screen) {
    Visual* standard = DefaultVisual(w->display, screen);
    if (standard->c_class == TrueColor) {
        w->visual = standard;
        w->depth = DefaultDepth(w->display, screen);
        return true;
    }
    XVisualInfo info;
    for (int depth : {24, 32, 30, 16, 15, 8}) {
        if (XMatchVisualInfo(w->display, screen, depth, TrueColor, &info)) {
            w->visual = info.visual;
            w->depth = info.depth;
            return true;
        }
    }
    return false;
}

void storeTitle(NativeWindow* w, const char* title) {
    // Like all the program's text, the title is code page 437. WM_NAME is Latin-1, which covers
    // only part of it; _NET_WM_NAME carries every character as UTF-8.
    std::string latin1;
    std::string utf8;
    for (const char* p = title; *p; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        const std::uint32_t codePoint = byte < 128 ? byte : cp437ToUnicode(byte);
        latin1 += codePoint < 256 ? char(codePoint) : '?';
        appendUtf8(utf8, codePoint);
    }
    XStoreName(w->display, w->window, latin1.c_str());
    XChangeProperty(w->display, w->window, w->netWmName, w->utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
}

// Window managers honour position and size only when told they were asked for, and keep the
// window at its size only when the minimum and maximum agree.
void setPlacementHints(NativeWindow* w, int left, int top) {
    XSizeHints* hints = XAllocSizeHints();
    if (!hints) return;
    hints->flags = PPosition | USPosition | PMinSize | PMaxSize;
    hints->x = left;
    hints->y = top;
    hints->min_width = hints->max_width = w->width;
    hints->min_height = hints->max_height = w->height;
    XSetWMNormalHints(w->display, w->window, hints);
    XFree(hints);
}

// The Motif hints are the one request for "no frame at all" that window managers understand.
// Their five fields are flags, functions, decorations, input mode and status; flag bit 1 says
// the decorations field counts, and decorations 0 means none.
void removeDecorations(NativeWindow* w) {
    const Atom motifHints = XInternAtom(w->display, "_MOTIF_WM_HINTS", False);
    const long hints[5] = {1L << 1, 0, 0, 0, 0};
    XChangeProperty(w->display, w->window, motifHints, motifHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
}

void setManagerHints(NativeWindow* w) {
    if (XWMHints* hints = XAllocWMHints()) {
        hints->flags = InputHint | StateHint;
        hints->input = True;  // the window takes keyboard focus like any application window
        hints->initial_state = NormalState;
        XSetWMHints(w->display, w->window, hints);
        XFree(hints);
    }
    if (XClassHint* hints = XAllocClassHint()) {
        char name[] = "glimmerix";
        char className[] = "Glimmerix";
        hints->res_name = name;
        hints->res_class = className;
        XSetClassHint(w->display, w->window, hints);
        XFree(hints);
    }
    // Closing from the window manager becomes a message to us instead of a killed connection.
    XSetWMProtocols(w->display, w->window, &w->wmDeleteWindow, 1);
}

bool createWindow(NativeWindow* w, const char* title) {
    Display* d = w->display;
    const int screen = DefaultScreen(d);
    w->root = RootWindow(d, screen);
    if (!chooseVisual(w, screen)) {
        std::fprintf(stderr, "X11: No TrueColor visual on the screen\n");
        return false;
    }
    w->wmProtocols = XInternAtom(d, "WM_PROTOCOLS", False);
    w->wmDeleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    w->netWmName = XInternAtom(d, "_NET_WM_NAME", False);
    w->utf8String = XInternAtom(d, "UTF8_STRING", False);

    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0;  // black in every TrueColor visual, as a new screen is
    attributes.border_pixel = 0;
    attributes.event_mask = kWindowEvents;
    unsigned long valueMask = CWBackPixel | CWBorderPixel | CWEventMask;
    if (w->visual != DefaultVisual(d, screen)) {
        w->colormap = XCreateColormap(d, w->root, w->visual, AllocNone);
        attributes.colormap = w->colormap;
        valueMask |= CWColormap;
    }
    const int left = centredOffset(DisplayWidth(d, screen), w->width);
    const int top = centredOffset(DisplayHeight(d, screen), w->height);
    x11TakeError(d);
    w->window = XCreateWindow(d, w->root, left, top, unsigned(w->width), unsigned(w->height), 0,
                              w->depth, InputOutput, w->visual, valueMask, &attributes);
    if (int error = x11TakeError(d)) {
        std::fprintf(stderr, "X11: Failed to create a %dx%d window (X error %d)\n", w->width,
                     w->height, error);
        w->window = 0;
        return false;
    }
    setPlacementHints(w, left, top);
    removeDecorations(w);
    setManagerHints(w);
    storeTitle(w, title);
    w->gc = XCreateGC(d, w->window, 0, nullptr);
    return true;
}

// ---- The image the window is painted from --------------------------------------------------

void describePixels(NativeWindow* w) {
    const Visual* v = w->visual;
    w->red = channelOf(v->red_mask);
    w->green = channelOf(v->green_mask);
    w->blue = channelOf(v->blue_mask);
    w->directCopy = w->image->bits_per_pixel == 32 && w->image->byte_order == hostByteOrder() &&
                    v->red_mask == 0xFF0000 && v->green_mask == 0xFF00 && v->blue_mask == 0xFF;
}

bool createSharedImage(NativeWindow* w) {
    Display* d = w->display;
    if (!XShmQueryExtension(d)) return false;
    w->image = XShmCreateImage(d, w->visual, unsigned(w->depth), ZPixmap, nullptr, &w->shm,
                               unsigned(w->width), unsigned(w->height));
    if (!w->image) return false;
    const std::size_t size = std::size_t(w->image->bytes_per_line) * std::size_t(w->height);
    w->shm.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    void* address =
        w->shm.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(w->shm.shmid, nullptr, 0);
    if (address != reinterpret_cast<void*>(-1)) {
        w->shm.shmaddr = w->image->data = static_cast<char*>(address);
#ifdef MADV_POPULATE_WRITE
        // A fresh segment has no pages yet; the first whole-window copy would take a fault per
        // page under the screen lock, just before the first frame. One call here, while the
        // program's thread waits for the window anyway, costs about half of that. Kernels
        // without it answer EINVAL and the pages come as before.
        madvise(address, size, MADV_POPULATE_WRITE);
#endif
        w->shm.readOnly = False;
        // A server on another machine cannot attach; it answers with an error, not a failure
        // of the call, so the request is made to complete here.
        x11TakeError(d);
        XShmAttach(d, &w->shm);
        w->shared = x11TakeError(d) == Success;
    }
    // Once both sides are attached (or the attempt is over), the segment can be marked for
    // removal: it then disappears with the last detach, even if this process dies.
    if (w->shm.shmid >= 0) shmctl(w->shm.shmid, IPC_RMID, nullptr);
    if (w->shared) return true;
    if (address != reinterpret_cast<void*>(-1)) shmdt(address);
    w->image->data = nullptr;
    XDestroyImage(w->image);
    w->image = nullptr;
    return false;
}

bool createPlainImage(NativeWindow* w) {
    w->image = XCreateImage(w->display, w->visual, unsigned(w->depth), ZPixmap, 0, nullptr,
                            unsigned(w->width), unsigned(w->height), 32, 0);
    if (!w->image) return false;
    // XDestroyImage frees the pixels with free(), so they must come from the malloc family.
    const std::size_t size = std::size_t(w->image->bytes_per_line) * std::size_t(w->height);
    w->image->data = static_cast<char*>(std::calloc(size, 1));
    if (w->image->data) return true;
    XDestroyImage(w->image);
    w->image = nullptr;
    return false;
}

bool createImage(NativeWindow* w) {
    if (!createSharedImage(w) && !createPlainImage(w)) {
        std::fprintf(stderr, "X11: Failed to create a %dx%d image\n", w->width, w->height);
        return false;
    }
    describePixels(w);
    return true;
}

void destroyImage(NativeWindow* w) {
    if (!w->image) return;
    if (w->shared) {
        XShmDetach(w->display, &w->shm);
        XSync(w->display, False);
        w->image->data = nullptr;  // the segment is not XDestroyImage's to free
    }
    XDestroyImage(w->image);
    if (w->shared) shmdt(w->shm.shmaddr);
    w->image = nullptr;
    w->shared = false;
}

unsigned long nativePixel(const NativeWindow* w, std::uint32_t argb) {
    return scaleChannel((argb >> 16) & 0xFF, w->red) | scaleChannel((argb >> 8) & 0xFF, w->green) |
           scaleChannel(argb & 0xFF, w->blue);
}

// Brings rows first..last of the image up to date with the screen buffer.
void copyRows(NativeWindow* w, const ScreenView& screen, int first, int last) {
    w->imageWritten = true;
    const int width = std::min(screen.width, w->width);
    for (int y = first; y <= last; ++y) {
        const std::uint32_t* source = screen.pixels + std::size_t(y) * std::size_t(screen.width);
        if (w->directCopy) {
            char* target = w->image->data + std::size_t(y) * std::size_t(w->image->bytes_per_line);
            std::memcpy(target, source, std::size_t(width) * sizeof(std::uint32_t));
        } else {
            for (int x = 0; x < width; ++x) XPutPixel(w->image, x, y, nativePixel(w, source[x]));
        }
    }
}

void putArea(NativeWindow* w, int x, int y, int width, int height) {
    Display* d = w->display;
    if (w->shared) {
        XShmPutImage(d, w->window, w->gc, w->image, x, y, x, y, unsigned(width), unsigned(height),
                     False);
        // The server reads the segment when it gets to the request; waiting for it keeps the
        // next pass from rewriting rows it has not shown yet.
        XSync(d, False);
    } else {
        XPutImage(d, w->window, w->gc, w->image, x, y, x, y, unsigned(width), unsigned(height));
        XFlush(d);
    }
}

// ---- Showing the window -----------------------------------------------------------------------

void waitForMap(NativeWindow* w) {
    Display* d = w->display;
    const auto deadline = std::chrono::steady_clock::now() + kMapTimeout;
    XEvent event;
    while (!XCheckTypedWindowEvent(d, w->window, MapNotify, &event)) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (remaining.count() <= 0) return;
        pollfd connection{ConnectionNumber(d), POLLIN, 0};
        poll(&connection, 1, int(std::min<long long>(remaining.count(), 10)));
    }
}

bool managerSupports(NativeWindow* w, Atom feature) {
    const Atom supported = XInternAtom(w->display, "_NET_SUPPORTED", True);
    if (supported == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(w->display, w->root, supported, 0, 4096, False, XA_ATOM, &type, &format,
                           &count, &remaining, &data) != Success) {
        return false;
    }
    bool found = false;
    if (data && type == XA_ATOM && format == 32) {
        const Atom* atoms = reinterpret_cast<const Atom*>(data);
        found = std::find(atoms, atoms + count, feature) != atoms + count;
    }
    if (data) XFree(data);
    return found;
}

// A window manager may refuse focus to a window that takes it on its own; asking it through
// _NET_ACTIVE_WINDOW is what brings the window to the front under one.
void requestActivation(NativeWindow* w) {
    const Atom activeWindow = XInternAtom(w->display, "_NET_ACTIVE_WINDOW", True);
    if (activeWindow == None || !managerSupports(w, activeWindow)) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w->window;
    event.xclient.message_type = activeWindow;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // the request comes from an ordinary application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(w->display, w->root, False, SubstructureNotifyMask | SubstructureRedirectMask,
               &event);
}

void showWindow(NativeWindow* w) {
    Display* d = w->display;
    XMapWindow(d, w->window);
    // Focus can only go to a viewable window.
    waitForMap(w);
    XRaiseWindow(d, w->window);
    XSetInputFocus(d, w->window, RevertToParent, CurrentTime);
    requestActivation(w);
    XFlush(d);
}

// ---- Input ------------------------------------------------------------------------------------

void handleKeyPress(XKeyEvent* event) {
    char text[32];
    KeySym keysym = NoSymbol;
    const int length = XLookupString(event, text, sizeof text, &keysym, nullptr);
    const int code = x11KeyCode(keysym, event->state, text, length);
    if (code != kNoKeyCode) recordKey(code);
}

int buttonBit(unsigned int button) {
    switch (button) {
        case Button1:
            return kLeftButton;
        case Button2:
            return kMiddleButton;
        case Button3:
            return kRightButton;
        default:
            return 0;
    }
}

void handleButtonPress(NativeWindow* w, const XButtonEvent& event) {
    recordPointerPosition(event.x, event.y);
    if (event.button == Button4 || event.button == Button5) {
        recordWheel(event.button == Button4 ? +1 : -1);  // away from the user counts up
        return;
    }
    const int bit = buttonBit(event.button);
    if (!bit) return;
    recordButton(bit, true);
    if (w->pointerGrabbed) return;
    // Holding the pointer until every button is up keeps a drag reporting its positions after it
    // leaves the window; owner events keep the coordinates relative to this window.
    w->pointerGrabbed = XGrabPointer(w->display, w->window, True, kGrabEvents, GrabModeAsync,
                                     GrabModeAsync, None, None, event.time) == GrabSuccess;
}

void handleButtonRelease(NativeWindow* w, const XButtonEvent& event) {
    recordPointerPosition(event.x, event.y);
    const int bit = buttonBit(event.button);
    if (!bit) return;
    recordButton(bit, false);
    if (w->pointerGrabbed && recordedButtons() == 0) {
        XUngrabPointer(w->display, event.time);
        w->pointerGrabbed = false;
    }
}

// Focus moves caused by keyboard grabs (a window manager's Alt+Tab, for one) are passing states,
// not a change of the active window.
void handleFocus(const XFocusChangeEvent& event) {
    if (event.mode == NotifyGrab || event.mode == NotifyUngrab) return;
    recordActive(event.type == FocusIn);
}

void handleClientMessage(NativeWindow* w, const XClientMessageEvent& event) {
    if (event.message_type == w->wmProtocols && event.format == 32 &&
        Atom(event.data.l[0]) == w->wmDeleteWindow) {
        recordKey(kCloseRequest);  // the window stays; the program decides what closing means
    }
}

void handleEvent(NativeWindow* w, XEvent& event, Area* exposed) {
    switch (event.type) {
        case KeyPress:
            handleKeyPress(&event.xkey);
            break;
        case ButtonPress:
            handleButtonPress(w, event.xbutton);
            break;
        case ButtonRelease:
            handleButtonRelease(w, event.xbutton);
            break;
        case MotionNotify:
            recordPointerPosition(event.xmotion.x, event.xmotion.y);
            break;
        case EnterNotify:
            recordInside(true);
            break;
        case LeaveNotify:
            recordInside(false);
            break;
        case FocusIn:
        case FocusOut:
            handleFocus(event.xfocus);
            break;
        case UnmapNotify:
            recordActive(false);
            break;  // minimised
        case Expose:
            exposed->add(event.xexpose.x, event.xexpose.y, event.xexpose.width,
                         event.xexpose.height);
            break;
        case ClientMessage:
            handleClientMessage(w, event.xclient);
            break;
        case MappingNotify:
            if (event.xmapping.request != MappingPointer) XRefreshKeyboardMapping(&event.xmapping);
            break;
        default:
            break;
    }
}

// Enter and leave events do not cover every case (a grab ending outside the window, for one), so
// the pointer's actual place decides. A window that opens under a resting pointer gets no motion
// event, so the place found here is also its first position.
void refreshInside(NativeWindow* w) {
    Window root = 0;
    Window child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    const bool sameScreen =
        XQueryPointer(w->display, w->window, &root, &child, &rootX, &rootY, &x, &y, &mask);
    const bool inside = sameScreen && x >= 0 && y >= 0 && x < w->width && y < w->height;
    if (inside) recordPointerPosition(x, y);
    recordInside(inside);
    w->insideKnown = true;
}

}  // namespace

// ---- Key mapping ------------------------------------------------------------------------------

namespace {

// IBM PC keyboard BIOS extended codes of the keys without a character. The keypad twin is the
// keypad key that acts as the same key while Num Lock is off.
struct BiosKey {
    unsigned long keysym;
    unsigned long keypadTwin;
    int plain, shift, ctrl, alt;
};

// clang-format off
constexpr BiosKey kBiosKeys[] = {
    // keysym       keypad twin       plain shift ctrl alt
    {XK_Home,       XK_KP_Home,       71,   71,   119, 151},
    {XK_Up,         XK_KP_Up,         72,   72,   141, 152},
    {XK_Page_Up,    XK_KP_Page_Up,    73,   73,   132, 153},
    {XK_Left,       XK_KP_Left,       75,   75,   115, 155},
    {XK_Right,      XK_KP_Right,      77,   77,   116, 157},
    {XK_End,        XK_KP_End,        79,   79,   117, 159},
    {XK_Down,       XK_KP_Down,       80,   80,   145, 160},
    {XK_Page_Down,  XK_KP_Page_Down,  81,   81,   118, 161},
    {XK_Insert,     XK_KP_Insert,     82,   82,   146, 162},
    {XK_Delete,     XK_KP_Delete,     83,   83,   147, 163},
    {XK_F1,         NoSymbol,         59,   84,   94,  104},
    {XK_F2,         NoSymbol,         60,   85,   95,  105},
    {XK_F3,         NoSymbol,         61,   86,   96,  106},
    {XK_F4,         NoSymbol,         62,   87,   97,  107},
    {XK_F5,         NoSymbol,         63,   88,   98,  108},
    {XK_F6,         NoSymbol,         64,   89,   99,  109},
    {XK_F7,         NoSymbol,         65,   90,   100, 110},
    {XK_F8,         NoSymbol,         66,   91,   101, 111},
    {XK_F9,         NoSymbol,         67,   92,   102, 112},
    {XK_F10,        NoSymbol,         68,   93,   103, 113},
    {XK_F11,        NoSymbol,         133,  135,  137, 139},
    {XK_F12,        NoSymbol,         134,  136,  138, 140},
};
// clang-format on

// Keysyms from before Unicode keysyms existed that keyboard layouts still produce, for the
// characters of code page 437 outside Latin-1: the Greek layout's letters.
struct LegacyKeysym {
    unsigned long keysym;
    std::uint32_t codePoint;
};

// clang-format off
constexpr LegacyKeysym kLegacyKeysyms[] = {
    {XK_ISO_Left_Tab,    0x0009},  // Shift+Tab is still Tab
    {XK_Greek_alpha,     0x03B1},
    {XK_Greek_GAMMA,     0x0393},
    {XK_Greek_pi,        0x03C0},
    {XK_Greek_SIGMA,     0x03A3},
    {XK_Greek_sigma,     0x03C3},
    {XK_Greek_tau,       0x03C4},
    {XK_Greek_PHI,       0x03A6},
    {XK_Greek_THETA,     0x0398},
    {XK_Greek_OMEGA,     0x03A9},
    {XK_Greek_delta,     0x03B4},
    {XK_Greek_phi,       0x03C6},
    {XK_Greek_epsilon,   0x03B5},
};
// clang-format on

constexpr std::uint32_t kNoCodePoint = 0xFFFFFFFF;

const BiosKey* findBiosKey(unsigned long keysym) {
    if (keysym == NoSymbol) return nullptr;
    for (const BiosKey& key : kBiosKeys) {
        if (key.keysym == keysym || key.keypadTwin == keysym) return &key;
    }
    return nullptr;
}

// The BIOS looks at Alt first, then Ctrl, then Shift.
int biosCode(const BiosKey& key, unsigned int state) {
    if (state & Mod1Mask) return key.alt;
    if (state & ControlMask) return key.ctrl;
    if (state & ShiftMask) return key.shift;
    return key.plain;
}

std::uint32_t keysymCodePoint(unsigned long keysym) {
    // Latin-1 keysyms are their own code points; Unicode keysyms carry theirs below bit 24.
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
        return std::uint32_t(keysym);
    }
    if ((keysym & 0xFF000000) == 0x01000000) return std::uint32_t(keysym & 0x00FFFFFF);
    for (const LegacyKeysym& legacy : kLegacyKeysyms) {
        if (legacy.keysym == keysym) return legacy.codePoint;
    }
    return kNoCodePoint;
}

}  // namespace

int x11KeyCode(unsigned long keysym, unsigned int state, const char* text, int textLength) {
    // Looked up before the text: XLookupString gives Delete the character 127, but the BIOS
    // treats it as a key without one.
    if (const BiosKey* key = findBiosKey(keysym)) return biosCode(*key, state) << 8;
    // Alt with a letter or digit types nothing either; XLookupString would still give the letter.
    if (state & Mod1Mask) {
        const int code = altKeyCode(keysym < 128 ? int(keysym) : 0);
        if (code != kNoKeyCode) return code;
    }
    // One byte of text is Latin-1 and already folds in Ctrl (Ctrl+A gives 1), so it beats the
    // keysym. Longer text is some locale's multibyte encoding; the keysym is the surer source.
    const std::uint32_t codePoint =
        textLength == 1 ? static_cast<unsigned char>(text[0]) : keysymCodePoint(keysym);
    if (codePoint == kNoCodePoint) return kNoKeyCode;
    return unicodeToCp437(codePoint);
}

// ---- The seam ---------------------------------------------------------------------------------

NativeWindow* openNativeWindow(int width, int height, const char* title) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "X11: Failed to open display \"%s\"\n", XDisplayName(nullptr));
        return nullptr;
    }
    x11AdoptConnection(display);
    NativeWindow* w = new NativeWindow;
    w->display = display;
    w->width = width;
    w->height = height;
    if (!createWindow(w, title) || !createImage(w)) {
        closeNativeWindow(w);
        return nullptr;
    }
    showWindow(w);
    return w;
}

void presentRows(NativeWindow* w, const ScreenView& screen, int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, std::min(screen.height, w->height) - 1);
    if (first > last) return;
    copyRows(w, screen, first, last);
    w->unshown.add(0, first, std::min(screen.width, w->width), last - first + 1);
}

void flushWindow(NativeWindow* w) {
    if (w->unshown.empty()) return;
    const Area area = w->unshown;
    w->unshown = Area{};
    putArea(w, area.left, area.top, area.right - area.left, area.bottom - area.top);
}

void pumpMessages(NativeWindow* w, const ScreenView& screen) {
    Area exposed;
    bool anyEvent = false;
    while (XPending(w->display) > 0) {
        XEvent event;
        XNextEvent(w->display, &event);
        handleEvent(w, event, &exposed);
        anyEvent = true;
    }
    exposed.clip(std::min(screen.width, w->width), std::min(screen.height, w->height));
    // The image already holds every row the window should show: rows drawn since they were last
    // copied are marked changed and copied by this pass's presentChangedRows. Copying the exposed
    // rows again here, under the screen lock, would hold up the program's thread for a whole-window
    // copy each time the window is mapped or uncovered. Until the first copy the image is the
    // black the window's background already shows, and putting it would only delay the first
    // frame.
    if (!exposed.empty() && w->imageWritten) {
        w->unshown.add(exposed.left, exposed.top, exposed.right - exposed.left,
                       exposed.bottom - exposed.top);
    }
    if (anyEvent || !w->insideKnown) refreshInside(w);
}

void setNativeTitle(NativeWindow* w, const char* title) {
    storeTitle(w, title);
    XFlush(w->display);
}

std::intptr_t nativeHandle(NativeWindow* w) {
    return static_cast<std::intptr_t>(w->window);
}

void closeNativeWindow(NativeWindow* w) {
    if (!w) return;
    Display* d = w->display;
    if (w->pointerGrabbed) XUngrabPointer(d, CurrentTime);
    destroyImage(w);
    if (w->gc) XFreeGC(d, w->gc);
    if (w->window) XDestroyWindow(d, w->window);
    if (w->colormap) XFreeColormap(d, w->colormap);
    x11ForgetConnection(d);
    XCloseDisplay(d);
    delete w;
}
