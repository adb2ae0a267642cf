#include "tarovex/run/XScreenSaverWatch.h"

#include <QSocketNotifier>

#include <cstdlib>

// Last: Xlib's macros (Bool, Status, None) would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace tarovex {

void XScreenSaverWatch::DisplayCloser::operator()(Display* d) const noexcept {
    XCloseDisplay(d);
}

XScreenSaverWatch::XScreenSaverWatch(const std::string& displayName, QObject* parent) : QObject(parent) {
    std::unique_ptr<Display, DisplayCloser> display(
        XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str()));
    if (!display) {
        const char* env = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
        why_ = QStringLiteral("cannot open the X display \"%1\"").arg(QString::fromLocal8Bit(env ? env : ""));
        return;
    }
    Display* d = display.get();
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(d, &eventBase_, &errorBase)) {
        why_ = QStringLiteral("the X server has no screen saver extension");
        return;
    }
    // Selected before the state is read, so that no change falls between the two.
    XScreenSaverSelectInput(d, DefaultRootWindow(d), ScreenSaverNotifyMask);
    XScreenSaverInfo info{};
    if (!XScreenSaverQueryInfo(d, DefaultRootWindow(d), &info)) {
        why_ = QStringLiteral("the X server does not tell the screen saver's state");
        return;
    }
    display_ = std::move(display);
    locked_ = info.state == ScreenSaverOn;
    auto* notifier = new QSocketNotifier(ConnectionNumber(d), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &XScreenSaverWatch::readEvents);
    // The reply may have brought events along, which the socket will not announce again.
    readEvents();
}

XScreenSaverWatch::~XScreenSaverWatch() = default;

void XScreenSaverWatch::readEvents() {
    Display* d = display_.get();
    while (XPending(d)) {
        XEvent e{};
        XNextEvent(d, &e);
        if (e.type != eventBase_ + ScreenSaverNotify)
            continue;
        // Cycle: the saver moves on to its next picture, still on.
        const int state = reinterpret_cast<const XScreenSaverNotifyEvent&>(e).state;
        setLocked(state == ScreenSaverOn || state == ScreenSaverCycle);
    }
}

void XScreenSaverWatch::setLocked(bool locked) {
    if (locked == locked_)
        return;
    locked_ = locked;
    emit lockedChanged(locked);
}

} // namespace tarovex
