// The desktop on Linux: an X11 display, EWMH work area, window titles, and a selection on the X
// server as the single-instance lock.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "desktop/desktop.h"
#include "screen/x11_errors.h"

namespace {

// Work areas read per query: more desktops than anyone keeps, few enough for the stack.
constexpr int kMaxDesktops = 64;

// The program's own thread asks the desktop a question now and then through one connection,
// opened by openDesktop and kept for the process; windows keep connections of their own on the
// screen layer's thread. Opening a fresh connection per question proved unreliable: right after
// another connection closed, Xvfb now and then refused the next one, and the work area fell
// back to nothing.
class Connection {
  public:
    Connection() : display_(desktop()) {}
    Display* get() const { return display_; }
    static Display*& desktop() {
        static Display* display = nullptr;
        return display;
    }

  private:
    Display* display_;
};

std::string displayName() {
    const char* name = std::getenv("DISPLAY");
    return name ? name : "";
}

// Up to `count` CARDINALs of a window property, from its start: a read from offset 0 is always
// valid, whereas one past the property's end is a BadValue error, which Xlib's default handler
// turns into the end of the process. Returns how many were read.
int readCardinals(Display* d, Window w, const char* name, long* out, int count) {
    Atom property = XInternAtom(d, name, True);
    if (property == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, count, False, XA_CARDINAL, &type, &format, &items,
                           &after, &data) != Success)
        return 0;
    int read = data && type == XA_CARDINAL && format == 32
                   ? int(std::min<unsigned long>(items, unsigned(count)))
                   : 0;
    if (read) std::memcpy(out, data, sizeof(long) * std::size_t(read));
    if (data) XFree(data);
    return read;
}

bool hasTitle(Display* d, Window w, const char* title) {
    bool found = false;
    Atom netName = XInternAtom(d, "_NET_WM_NAME", True);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", True);
    if (netName != None && utf8 != None) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, netName, 0, 256, False, utf8, &type, &format, &items, &after,
                               &data) == Success &&
            data) {
            found = type == utf8 && format == 8 &&
                    std::string(reinterpret_cast<char*>(data), items) == title;
            XFree(data);
        }
    }
    if (!found) {
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            found = std::strcmp(name, title) == 0;
            XFree(name);
        }
    }
    return found;
}

// Top-level windows: the root's children, and one level below them for window managers that
// put each client into a frame of their own.
bool searchTitle(Display* d, Window w, const char* title, int depth) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count)) return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i)
        found = hasTitle(d, children[i], title) ||
                (depth > 0 && searchTitle(d, children[i], title, depth - 1));
    if (children) XFree(children);
    return found;
}

// The X server went away while we were connected. Xlib would end the process from whichever
// thread noticed, the window's among them, and the exit handlers would then wait for that very
// thread. Nothing on the display can be closed or saved any more: say so in one line, as when
// there is no display at start, and end at once. Every connection reports it, so only the first
// report speaks.
int endWithoutDisplay(Display*) {
    static std::atomic_flag reported = ATOMIC_FLAG_INIT;
    if (!reported.test_and_set()) {
        std::string line =
            "glimmerix: X11: lost the connection to display \"" + displayName() + "\"\n";
        (void)!write(STDERR_FILENO, line.data(), line.size());
        _exit(1);
    }
    for (;;) pause();  // the first report is ending the process
}

}  // namespace

bool openDesktop() {
    Display*& desktop = Connection::desktop();
    if (!desktop && (desktop = XOpenDisplay(nullptr))) x11AdoptConnection(desktop);
    if (desktop) {
        XSetIOErrorHandler(endWithoutDisplay);
        return true;
    }
    std::string name = displayName();
    std::fprintf(stderr, "glimmerix: X11: cannot open display \"%s\"%s\n", name.c_str(),
                 name.empty() ? " (DISPLAY is not set)" : "");
    return false;
}

bool queryWorkArea(int* left, int* top, int* right, int* bottom) {
    Connection c;
    Display* d = c.get();
    if (!d) return false;
    Window root = DefaultRootWindow(d);
    long desktop = 0;
    if (!readCardinals(d, root, "_NET_CURRENT_DESKTOP", &desktop, 1)) desktop = 0;
    // Four numbers per desktop. A window manager may report a current desktop it publishes no
    // area for (desktops added since, or a stale property); the first desktop's area stands in.
    long areas[4 * kMaxDesktops];
    int read = readCardinals(d, root, "_NET_WORKAREA", areas, 4 * kMaxDesktops);
    if (read < 4) return false;
    const long* area = desktop >= 0 && desktop < read / 4 ? areas + 4 * desktop : areas;
    *left = int(area[0]);
    *top = int(area[1]);
    *right = int(area[0] + area[2]);
    *bottom = int(area[1] + area[3]);
    return true;
}

bool queryScreenSize(int* width, int* height) {
    Connection c;
    Display* d = c.get();
    if (!d) return false;
    *width = DisplayWidth(d, DefaultScreen(d));
    *height = DisplayHeight(d, DefaultScreen(d));
    return true;
}

bool findWindowByTitle(const char* title) {
    Connection c;
    Display* d = c.get();
    if (!d) return false;
    // Windows may vanish while we look at them; those errors are ours to drop.
    bool found = searchTitle(d, DefaultRootWindow(d), title, 1);
    x11TakeError(d);
    return found;
}

bool acquireInstanceLock() {
    Connection c;
    Display* d = c.get();
    if (!d) return true;  // no lock to be had: better one capture too many than none
    // The lock is a selection on the X server itself, one per user: whatever name DISPLAY gives
    // the server (":2", ":2.0", "unix:2", "localhost:2"), it has one owner, and the server frees
    // it when our connection closes, however the process ends.
    std::string name = "GLIMMERIX_INSTANCE_" + std::to_string(getuid());
    Atom lock = XInternAtom(d, name.c_str(), False);
    Window holder = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    // With the server grabbed the look and the claim are one step, so two programs starting at
    // the same moment cannot both find the lock free.
    XGrabServer(d);
    bool taken = XGetSelectionOwner(d, lock) != None;
    if (!taken) XSetSelectionOwner(d, lock, holder, CurrentTime);
    XUngrabServer(d);
    if (taken) XDestroyWindow(d, holder);
    XSync(d, False);
    return !taken;
}

void beep(int hz, int ms) {
    Connection c;
    if (Display* d = c.get()) {
        XKeyboardState saved;
        XGetKeyboardControl(d, &saved);
        XKeyboardControl control;
        control.bell_pitch = hz;
        control.bell_duration = ms;
        XChangeKeyboardControl(d, KBBellPitch | KBBellDuration, &control);
        XBell(d, 100);
        control.bell_pitch = int(saved.bell_pitch);
        control.bell_duration = int(saved.bell_duration);
        XChangeKeyboardControl(d, KBBellPitch | KBBellDuration, &control);
        XFlush(d);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void showAndFocusWindow(long long handle) {
    Connection c;
    Display* d = c.get();
    if (!d || !handle) return;
    Window w = Window(handle);
    XMapRaised(d, w);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    x11TakeError(d);  // a window gone meanwhile is nothing to show
}
