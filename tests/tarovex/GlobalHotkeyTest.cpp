// The request key on a real X server: presses of the grabbed combination, whichever
// application has the focus, and a combination another application holds.
#include "tarovex/run/X11GlobalHotkey.h"
#include "tests/XvfbServer.h"
#include "tests/worker/WorkerTestSupport.h"
#include "typing/X11ErrorTrap.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using tarovex::X11GlobalHotkey;
using tarovex::config::Hotkey;

class GlobalHotkeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        worker_test::application();
        display_ = XOpenDisplay(server_.display().c_str());
        ASSERT_NE(display_, nullptr);
    }
    void TearDown() override { XCloseDisplay(display_); }

    // The user strikes the key with the modifiers held.
    void strike(std::initializer_list<KeySym> modifiers, KeySym key) {
        for (KeySym m : modifiers)
            XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, m), True, CurrentTime);
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), True, CurrentTime);
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), False, CurrentTime);
        for (KeySym m : modifiers)
            XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, m), False, CurrentTime);
        XSync(display_, False);
    }
    // Another application's grab of Ctrl+Alt+R on the root window: the X error code, 0 for none.
    int grabElsewhere() {
        tarovex::typing::X11ErrorTrap trap(display_);
        XGrabKey(display_, XKeysymToKeycode(display_, XK_r), ControlMask | Mod1Mask,
                 DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
        return trap.sync();
    }

    tarovex_test::XvfbServer server_;
    Display* display_ = nullptr;
};

// Held by another application: a reason, not a crash. Once ours, one press is one signal, with
// Caps Lock on as well; other combinations give none, and at ungrab it is given back.
TEST_F(GlobalHotkeyTest, PressesOfTheCombinationAreSignalledWhileItIsOurs) {
    X11GlobalHotkey hotkey(server_.display());
    int presses = 0;
    QObject::connect(&hotkey, &tarovex::GlobalHotkey::pressed, [&] { ++presses; });
    const Hotkey ctrlAltR = *tarovex::config::parseHotkey("Ctrl+Alt+R");
    ASSERT_EQ(grabElsewhere(), 0);
    EXPECT_EQ(hotkey.grab(ctrlAltR), "another application holds it");
    XUngrabKey(display_, XKeysymToKeycode(display_, XK_r), AnyModifier, DefaultRootWindow(display_));
    XSync(display_, False);
    ASSERT_EQ(hotkey.grab(ctrlAltR), "");
    EXPECT_EQ(grabElsewhere(), BadAccess);

    strike({XK_Control_L, XK_Alt_L}, XK_r);
    EXPECT_TRUE(worker_test::runUntil([&] { return presses == 1; }, 5000));
    XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, LockMask);
    strike({XK_Control_L, XK_Alt_L}, XK_r);
    EXPECT_TRUE(worker_test::runUntil([&] { return presses == 2; }, 5000));
    XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, 0);
    strike({XK_Control_L}, XK_r);
    strike({XK_Control_L, XK_Alt_L}, XK_t);
    hotkey.ungrab();
    EXPECT_EQ(grabElsewhere(), 0);
    strike({XK_Control_L, XK_Alt_L}, XK_r);
    for (const QDeadlineTimer quiet(700); !quiet.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(presses, 2);
}

} // namespace
