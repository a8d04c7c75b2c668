#include "screen/x11_errors.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct Kept {
    Display* display;
    int firstError;
};

struct Registry {
    std::mutex mutex;
    std::vector<Kept> connections;
    XErrorHandler previous = nullptr;
};

Registry& registry() {
    // Never destroyed: other threads' connections may report errors while statics go away.
    static Registry* instance = new Registry;
    return *instance;
}

int sortError(Display* display, XErrorEvent* event) {
    Registry& r = registry();
    XErrorHandler previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(r.mutex);
        for (Kept& kept : r.connections)
            if (kept.display == display) {
                if (kept.firstError == Success) kept.firstError = event->error_code;
                return 0;
            }
        previous = r.previous;
    }
    return previous ? previous(display, event) : 0;
}

}  // namespace

void x11AdoptConnection(Display* display) {
    static std::once_flag installed;
    std::call_once(installed, [] { registry().previous = XSetErrorHandler(sortError); });
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.connections.push_back(Kept{display, Success});
}

void x11ForgetConnection(Display* display) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.connections.erase(std::remove_if(r.connections.begin(), r.connections.end(),
                                       [&](const Kept& k) { return k.display == display; }),
                        r.connections.end());
}

int x11TakeError(Display* display) {
    XSync(display, False);
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    for (Kept& kept : r.connections)
        if (kept.display == display) {
            int error = kept.firstError;
            kept.firstError = Success;
            return error;
        }
    return Success;
}
