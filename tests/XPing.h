#pragma once

#include <X11/Xlib.h>

namespace tarovex_test {

// The window manager's ping (_NET_WM_PING). A toolkit answers it on its user-interface
// thread, so the time to the answer is how long that thread was busy.
inline void sendPing(Display* display, Window w, long serial) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "_NET_WM_PING", False));
    e.xclient.data.l[1] = serial; // stands in for the timestamp
    e.xclient.data.l[2] = long(w);
    XSendEvent(display, w, False, NoEventMask, &e);
    XFlush(display);
}

// True when `e` is the answer to the ping sent with `serial`.
inline bool isPingAnswer(Display* display, const XEvent& e, long serial) {
    return e.type == ClientMessage && e.xclient.message_type == XInternAtom(display, "WM_PROTOCOLS", False) &&
           Atom(e.xclient.data.l[0]) == XInternAtom(display, "_NET_WM_PING", False) &&
           e.xclient.data.l[1] == serial;
}

} // namespace tarovex_test
