// X11 protocol errors, for every file of the program that talks to an X server (the window, the
// desktop services and the clipboard). Xlib's default handler ends the process on any error, and
// the handler is one per process, shared by every thread; so there is one handler, installed once
// and never swapped, and it sorts each error by the connection it arrived on. Each of our
// connections is adopted here: its errors are kept for x11TakeError instead of ending the
// process. Errors on connections we did not adopt go to whatever handler was there before.
//
// An error is delivered on the thread that reads its connection, and each of our connections is
// used by one thread, so what one thread takes is never another's.
#pragma once

#include <X11/Xlib.h>

// Keeps `display`'s errors from now on. Call right after opening it.
void x11AdoptConnection(Display* display);

// Stops keeping them. Call right before closing `display`.
void x11ForgetConnection(Display* display);

// Waits until the server has answered every request made so far on `display` (XSync), then
// returns the code of the first error kept since the last call, or Success, and clears it.
int x11TakeError(Display* display);
