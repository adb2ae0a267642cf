// An ordinary X application for the keystroke tests: a window that takes the keyboard focus
// and prints what it receives through an X input method, so that dead keys compose. It
// prints "ready" once it has the focus, then one line per key: "T <text>" for text, and
// "K <keysym name>" for a key that gives none or gives a control character.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <cstdio>
#include <cstring>

int main() {
    if (!std::setlocale(LC_CTYPE, "C.UTF-8") || !XSupportsLocale())
        return 2;
    XSetLocaleModifiers("@im=none"); // the built-in input method with the locale's compose table
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 3;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 100, 0, 0, 0);
    XStoreName(d, w, "tarovex-test-xrecorder"); // how the tests tell it from the program's windows
    XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask | FocusChangeMask);
    XIM im = XOpenIM(d, nullptr, nullptr, nullptr);
    if (!im)
        return 4;
    XIC ic = XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, w,
                       XNFocusWindow, w, nullptr);
    if (!ic)
        return 5;
    XMapWindow(d, w);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == MapNotify) {
            XSetInputFocus(d, w, RevertToParent, CurrentTime);
        } else if (e.type == FocusIn) {
            XSetICFocus(ic);
            std::printf("ready\n");
            std::fflush(stdout);
        } else if (e.type == MappingNotify) {
            XRefreshKeyboardMapping(&e.xmapping);
        } else if (e.type == KeyPress && !XFilterEvent(&e, None)) {
            char text[64];
            KeySym sym = NoSymbol;
            Status status = 0;
            const int n = Xutf8LookupString(ic, &e.xkey, text, sizeof text - 1, &sym, &status);
            const bool hasText = (status == XLookupChars || status == XLookupBoth) && n > 0;
            if (IsModifierKey(sym))
                continue;
            if (hasText && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7f) {
                text[n] = 0;
                std::printf("T %s\n", text);
            } else if (status == XLookupKeySym || status == XLookupBoth) {
                const char* name = XKeysymToString(sym);
                std::printf("K %s\n", name ? name : "?");
            }
            std::fflush(stdout);
        } else if (e.type == KeyPress) {
            continue; // consumed by the input method (a dead key)
        }
    }
}
