// The desktop on Linux: an X11 display, EWMH work area, window titles, and an abstract-namespace
// socket as the single-instance lock.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "desktop/desktop.h"

namespace {

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

bool readCardinals(Display* d, Window w, const char* name, long* out, int count, int skip = 0) {
    Atom property = XInternAtom(d, name, True);
    if (property == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, skip, count, False, XA_CARDINAL, &type, &format, &items,
                           &after, &data) != Success)
        return false;
    bool ok = data && type == XA_CARDINAL && format == 32 && items >= unsigned(count);
    if (ok) std::memcpy(out, data, sizeof(long) * std::size_t(count));
    if (data) XFree(data);
    return ok;
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

// Windows may vanish while we look at them; such errors are expected, not fatal.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

int openDesktop() {
    Display*& desktop = Connection::desktop();
    if (!desktop) desktop = XOpenDisplay(nullptr);
    if (desktop) return 1;
    std::string name = displayName();
    std::fprintf(stderr, "glimmerix: X11: cannot open display \"%s\"%s\n", name.c_str(),
                 name.empty() ? " (DISPLAY is not set)" : "");
    return 0;
}

int queryWorkArea(int* left, int* top, int* right, int* bottom) {
    Connection c;
    Display* d = c.get();
    if (!d) return 0;
    Window root = DefaultRootWindow(d);
    long desktop = 0;
    if (!readCardinals(d, root, "_NET_CURRENT_DESKTOP", &desktop, 1)) desktop = 0;
    long area[4];
    if (!readCardinals(d, root, "_NET_WORKAREA", area, 4, int(desktop) * 4) &&
        !readCardinals(d, root, "_NET_WORKAREA", area, 4))
        return 0;
    *left = int(area[0]);
    *top = int(area[1]);
    *right = int(area[0] + area[2]);
    *bottom = int(area[1] + area[3]);
    return 1;
}

int queryScreenSize(int* width, int* height) {
    Connection c;
    Display* d = c.get();
    if (!d) return 0;
    *width = DisplayWidth(d, DefaultScreen(d));
    *height = DisplayHeight(d, DefaultScreen(d));
    return 1;
}

int findWindowByTitle(const char* title) {
    Connection c;
    Display* d = c.get();
    if (!d) return 0;
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    bool found = searchTitle(d, DefaultRootWindow(d), title, 1);
    XSync(d, False);
    XSetErrorHandler(previous);
    return found ? 1 : 0;
}

int acquireInstanceLock() {
    // An abstract socket name is freed by the kernel when the process dies, however it dies,
    // and leaves no file behind. One per user and display: that is the desktop session.
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 1;  // no lock to be had: better one capture too many than none
    std::string name = "glimmerix-instance-" + std::to_string(getuid()) + "-" + displayName();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0) return 1;  // held until exit
    int error = errno;
    close(fd);
    return error == EADDRINUSE ? 0 : 1;
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
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    Window w = Window(handle);
    XMapRaised(d, w);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    XSetErrorHandler(previous);
}
