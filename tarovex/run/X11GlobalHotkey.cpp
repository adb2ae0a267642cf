#include "tarovex/run/X11GlobalHotkey.h"

#include "typing/X11ErrorTrap.h"

#include <QSocketNotifier>

#include <cstdlib>
#include <stdexcept>

// Last: Xlib's macros (Bool, Status, None) would break the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace tarovex {

void X11GlobalHotkey::DisplayCloser::operator()(Display* d) const noexcept {
    XCloseDisplay(d);
}

X11GlobalHotkey::X11GlobalHotkey(const std::string& displayName, QObject* parent) : GlobalHotkey(parent) {
    display_.reset(XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str()));
    if (!display_) {
        const char* env = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
        throw std::runtime_error("Cannot open the X display \"" + std::string(env ? env : "") + "\"");
    }
    // A held key repeats as presses alone, not release-press pairs, so it counts once.
    XkbSetDetectableAutoRepeat(display_.get(), True, nullptr);
    notifier_ = new QSocketNotifier(ConnectionNumber(display_.get()), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &X11GlobalHotkey::readEvents);
}

X11GlobalHotkey::~X11GlobalHotkey() {
    ungrab();
}

std::vector<unsigned> X11GlobalHotkey::variants(const config::Hotkey& hotkey) const {
    Display* d = display_.get();
    const auto maskOf = [d](KeySym keysym, unsigned fallback) {
        const unsigned mask = XkbKeysymToModifiers(d, keysym);
        return mask ? mask : fallback;
    };
    unsigned mods = 0;
    if (hotkey.ctrl)
        mods |= ControlMask;
    if (hotkey.shift)
        mods |= ShiftMask;
    if (hotkey.alt)
        mods |= maskOf(XK_Alt_L, Mod1Mask);
    if (hotkey.super)
        mods |= maskOf(XK_Super_L, Mod4Mask);
    const unsigned numLock = maskOf(XK_Num_Lock, Mod2Mask);
    return {mods, mods | LockMask, mods | numLock, mods | LockMask | numLock};
}

QString X11GlobalHotkey::grab(const config::Hotkey& hotkey) {
    ungrab();
    Display* d = display_.get();
    const KeySym keysym = XStringToKeysym(hotkey.keysymName.toLatin1().constData());
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(d, keysym);
    if (!keycode)
        return QStringLiteral("no key of the X keyboard gives %1").arg(hotkey.keysymName);
    keycode_ = keycode;
    typing::X11ErrorTrap trap(d);
    for (const unsigned mods : variants(hotkey)) {
        XGrabKey(d, keycode, mods, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
        grabbed_.push_back(mods);
    }
    const int error = trap.sync();
    if (!error)
        return {};
    // Whatever part was taken goes back: the combination is ours whole or not at all.
    ungrabVariants();
    trap.sync();
    keycode_ = 0;
    if (error == BadAccess)
        return QStringLiteral("another application holds it");
    return QStringLiteral("the X server refused it (error %1)").arg(error);
}

void X11GlobalHotkey::ungrabVariants() {
    Display* d = display_.get();
    for (const unsigned mods : grabbed_)
        XUngrabKey(d, int(keycode_), mods, DefaultRootWindow(d));
    grabbed_.clear();
}

void X11GlobalHotkey::ungrab() {
    if (!keycode_)
        return;
    typing::X11ErrorTrap trap(display_.get());
    ungrabVariants();
    trap.sync();
    keycode_ = 0;
    down_ = false;
}

void X11GlobalHotkey::readEvents() {
    Display* d = display_.get();
    while (XPending(d)) {
        XEvent e{};
        XNextEvent(d, &e);
        if ((e.type != KeyPress && e.type != KeyRelease) || !keycode_ || e.xkey.keycode != keycode_)
            continue;
        if (e.type == KeyRelease) {
            down_ = false;
        } else if (!down_) {
            down_ = true;
            emit pressed();
        }
    }
}

} // namespace tarovex
