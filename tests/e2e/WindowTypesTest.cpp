// The window as a user meets it: the built program on a real X server, its settings in a
// temporary home, an instrument on a pseudo-terminal, another application holding the focus.
#include "tests/Tarolink/TestSupport.h"
#include "tests/XTextRecorder.h"
#include "tests/XvfbServer.h"
#include "tests/tools/ProcessSupport.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <termios.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

// Last: Xlib's macros (Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "tests/XPing.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool portOpened(const tarolink_test::Pty& pty, tools_test::Process& window) {
    for (int i = 0; i < 400; ++i) {
        termios t{};
        if (::tcgetattr(pty.master(), &t) == 0 && !(t.c_lflag & ICANON))
            return true;
        window.waitForError("\x01", 50); // reads its standard error meanwhile
    }
    return false;
}

using Settings = std::vector<std::pair<const char*, const char*>>;

// The program with a key delay of `delay` ms and `more` settings, started at once on `port`
// (empty: the port of a pty of the test), on an X server of its own; the test's own
// connection to that server watches and clicks.
struct WindowOnX {
    explicit WindowOnX(const char* delay, const Settings& more = {}, const std::string& port = {}) {
        {
            QSettings store(home.path() + "/config/Lumbrix/tarovex.conf", QSettings::IniFormat);
            Settings settings{{"connect", "AUTO"}, {"outputTerminator", "TAB"}, {"delay", delay}};
            settings.insert(settings.end(), more.begin(), more.end());
            for (const auto& [key, value] : settings)
                store.setValue(QStringLiteral("com/lumbrix/tarovex/") + key, value);
        }
        window.emplace(TAROVEX_BINARY_DIR "/tarovex/tarovex",
                       std::vector<std::string>{port.empty() ? pty.slavePath() : port}, env());
        display = XOpenDisplay(server.display().c_str());
        if (display)
            XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask); // ping answers
    }
    ~WindowOnX() {
        if (display)
            XCloseDisplay(display);
    }

    // The environment of the program, and of another start of it by the same user.
    std::map<std::string, std::string> env() const {
        return {{"HOME", home.path().toStdString()},
                {"XDG_CONFIG_HOME", home.path().toStdString() + "/config"},
                {"XDG_RUNTIME_DIR", home.path().toStdString()},
                {"DISPLAY", server.display()},
                {"QT_QPA_PLATFORM", "xcb"},
                {"PATH", "/usr/bin:/bin"},
                {"LANG", "C.UTF-8"}};
    }

    // Key presses (true) and releases of the user, through XTest.
    void keys(std::initializer_list<std::pair<KeySym, bool>> strokes) {
        for (const auto& [keysym, down] : strokes)
            XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down ? True : False, CurrentTime);
        XSync(display, False);
    }

    // The shown top-level window named `recorderName` (recorder), or the one named otherwise
    // (ours).
    Window find(const std::string& recorderName, bool recorder) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            char* name = nullptr;
            if (!XGetWindowAttributes(display, children[i], &a) || a.map_state != IsViewable ||
                !XFetchName(display, children[i], &name))
                continue;
            if ((recorderName == name) == recorder)
                found = children[i];
            XFree(name);
        }
        XFree(children);
        return found;
    }
    Window ours() { return find("tarovex-test-xrecorder", false); }
    Window recorderWindow() { return find("tarovex-test-xrecorder", true); }

    void focus(Window w) {
        XSetInputFocus(display, w, RevertToParent, CurrentTime);
        XSync(display, False);
        std::this_thread::sleep_for(300ms); // the program sees the change
    }

    // A left click at the middle of the window: on the first tab, the Start/Stop button.
    void clickMiddle(Window w) {
        XWindowAttributes a{};
        XGetWindowAttributes(display, w, &a);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, w, DefaultRootWindow(display), a.width / 2, a.height / 2, &x, &y,
                              &child);
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    // How long the window's user-interface thread took to answer a ping sent now.
    std::optional<Clock::duration> pingTime(Window w, std::chrono::milliseconds limit) {
        const auto sent = Clock::now();
        tarovex_test::sendPing(display, w, ++pings_);
        while (Clock::now() - sent < limit) {
            while (XPending(display)) {
                XEvent r{};
                XNextEvent(display, &r);
                if (tarovex_test::isPingAnswer(display, r, pings_))
                    return Clock::now() - sent;
            }
            std::this_thread::sleep_for(2ms);
        }
        return std::nullopt;
    }

    bool anyKeyDown() {
        char keys[32];
        XQueryKeymap(display, keys);
        return std::any_of(std::begin(keys), std::end(keys), [](char c) { return c != 0; });
    }

    QTemporaryDir home;
    tarovex_test::XvfbServer server;
    tarolink_test::Pty pty;
    std::optional<tools_test::Process> window;
    Display* display = nullptr;

private:
    long pings_ = 0;
};

std::string reading(const std::string& value) {
    return "ST,GS,+  " + value + " g\r";
}

// Connect mode AUTO with the port as argument starts at once; every reading written to the
// port arrives typed in the focused application, in order, none lost.
TEST(WindowTypes, ReadingsArriveTypedInTheFocusedApplication) {
    WindowOnX x("1");
    // The run has opened the port once the serial library made the line raw; then the other
    // application takes the focus.
    ASSERT_TRUE(portOpened(x.pty, *x.window)) << x.window->errorText();
    tarovex_test::XTextRecorder recorder(x.server.display());

    std::string readings, expected;
    for (int i = 1; i <= 40; ++i) {
        const std::string value = std::to_string(i * 7) + "." + std::to_string(i % 10);
        readings += reading(value);
        expected += value + "<Tab>";
    }
    x.pty.write(readings);
    EXPECT_EQ(recorder.transcript(expected.size(), 5000), expected) << x.window->errorText();
}

// While our own window has the keyboard focus nothing is typed; the values wait and arrive
// once the user clicks into the application.
TEST(WindowTypes, ValuesWaitWhileOurWindowHasTheFocus) {
    WindowOnX x("1");
    ASSERT_TRUE(x.display);
    ASSERT_TRUE(portOpened(x.pty, *x.window)) << x.window->errorText();
    tarovex_test::XTextRecorder recorder(x.server.display());
    const Window ours = x.ours(), other = x.recorderWindow();
    ASSERT_TRUE(ours && other);

    x.focus(ours);
    x.pty.write(reading("12.5") + reading("13.5"));
    EXPECT_EQ(recorder.transcript(1, 1500), "");
    x.focus(other);
    EXPECT_EQ(recorder.transcript(22, 5000), "12.5<Tab>13.5<Tab>") << x.window->errorText();
}

// Stop pressed while a value is typed slowly: the window answers at once; the click gives
// it the focus, so the rest of the value waits, with no key down, and is completed in the
// application once it has the focus back; the values of that run still waiting are not
// typed in the next run.
TEST(WindowTypes, StopDuringASlowValueKeepsTheWindowResponsive) {
    WindowOnX x("1000");
    ASSERT_TRUE(x.display);
    ASSERT_TRUE(portOpened(x.pty, *x.window)) << x.window->errorText();
    tarovex_test::XTextRecorder recorder(x.server.display());
    const Window ours = x.ours(), other = x.recorderWindow();
    ASSERT_TRUE(ours && other);

    x.pty.write(reading("12.5") + reading("7.25") + reading("8.75"));
    ASSERT_EQ(recorder.transcript(1, 5000), "1");
    x.clickMiddle(ours);
    const auto answer = x.pingTime(ours, 10s);
    ASSERT_TRUE(answer);
    EXPECT_LT(*answer, 500ms);
    std::this_thread::sleep_for(2500ms); // longer than a key and its pause
    EXPECT_FALSE(x.anyKeyDown());
    x.focus(other);
    EXPECT_EQ(recorder.transcript(9, 10000), "12.5<Tab>");
    std::this_thread::sleep_for(1500ms); // the last key comes up a delay after it went down
    EXPECT_FALSE(x.anyKeyDown());

    // The next run types what arrives in it, nothing left from the stopped one.
    termios t{};
    ::tcgetattr(x.pty.master(), &t);
    t.c_lflag |= ICANON; // made raw again once the port is reopened
    ::tcsetattr(x.pty.master(), TCSANOW, &t);
    x.clickMiddle(ours);
    ASSERT_TRUE(x.pingTime(ours, 10s)); // the click has been handled, and its focus change
    x.focus(other);
    ASSERT_TRUE(portOpened(x.pty, *x.window)) << x.window->errorText();
    x.pty.write(reading("3.5"));
    EXPECT_EQ(recorder.transcript(17, 10000), "12.5<Tab>3.5<Tab>") << x.window->errorText();
}

// A MITUTOYO gauge speaks only when asked. `tarovex --request` asks the running window once;
// the request key (setting requestHotkey) asks too, whichever application has the focus, and
// the value it brings waits while the user still holds the key's Ctrl and Alt, so it does not
// become a shortcut in the application.
TEST(WindowTypes, TheRequestCommandAndTheRequestKeyEachGiveOneReading) {
    QTemporaryDir gaugeHome;
    tools_test::Process gauge(TAROVEX_BINARY_DIR "/tools/tarovex-virtual-instrument",
                              {"--preset", "MITUTOYO", "--answer"},
                              tools_test::isolatedEnv(gaugeHome.path()));
    const std::string port = gauge.readLine().value_or("");
    ASSERT_FALSE(port.empty()) << gauge.errorText();
    WindowOnX x("1", {{"instrument", "MITUTOYO"}, {"requestHotkey", "Ctrl+Alt+R"}}, port);
    ASSERT_TRUE(x.display);
    tarovex_test::XTextRecorder recorder(x.server.display());
    const auto values = [](const std::string& typed) {
        std::size_t n = 0;
        for (auto at = typed.find("<Tab>"); at != std::string::npos; at = typed.find("<Tab>", at + 1))
            ++n;
        return n;
    };

    // Refused (exit 1, nothing sent) until the run reads; the first "ok" is the one request.
    int status = 1;
    std::string refusals;
    for (int i = 0; i < 50 && status != 0; ++i) {
        tools_test::Process request(TAROVEX_BINARY_DIR "/tarovex/tarovex", {"--request"}, x.env());
        status = request.wait();
        if (status) {
            refusals = request.errorText();
            std::this_thread::sleep_for(200ms);
        }
    }
    ASSERT_EQ(status, 0) << refusals << x.window->errorText();
    const std::string first = recorder.transcript(1000, 3000);
    EXPECT_EQ(values(first), 1u) << first;
    EXPECT_NE(first.find('.'), std::string::npos) << first; // a reading, not an empty value

    x.keys({{XK_Control_L, true}, {XK_Alt_L, true}, {XK_r, true}, {XK_r, false}});
    EXPECT_EQ(recorder.transcript(first.size() + 1, 600), first) << "typed under Ctrl+Alt";
    x.keys({{XK_Alt_L, false}, {XK_Control_L, false}});
    const std::string both = recorder.transcript(1000, 3000);
    EXPECT_EQ(values(both), 2u) << both << x.window->errorText();
    EXPECT_EQ(both.find("<Tab>", first.size()) + 5, both.size()) << both;
}

} // namespace
