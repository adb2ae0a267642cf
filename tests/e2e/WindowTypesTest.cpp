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
    Window find(const std::string& recorderName, bool recorder, Window besides = 0) {
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
            if ((recorderName == name) == recorder && children[i] != besides)
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

// How many values a transcript holds: each ends with the terminator.
std::size_t values(const std::string& typed) {
    std::size_t n = 0;
    for (auto at = typed.find("<Tab>"); at != std::string::npos; at = typed.find("<Tab>", at + 1))
        ++n;
    return n;
}

// The journal of the window's user: "value outcome reason" per reading, in the order written.
std::vector<std::string> journalRows(const WindowOnX& x) {
    tools_test::Process exporter(TAROVEX_BINARY_DIR "/tools/tarovex-console", {"--journal-export"}, x.env());
    std::vector<std::string> rows;
    exporter.readLine(); // the header
    while (const auto line = exporter.readLine(5000)) {
        // time,station,port,instrument,line,value,outcome,seq[,reason]: the line field is
        // quoted, and may hold commas.
        std::vector<std::string> cells;
        std::string cell;
        const std::string text = line->ends_with('\r') ? line->substr(0, line->size() - 1) : *line;
        bool quoted = false;
        for (const char c : text) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                cells.push_back(std::exchange(cell, {}));
            else
                cell += c;
        }
        cells.push_back(cell);
        if (cells.size() >= 8)
            rows.push_back(cells[5] + ' ' + cells[6] + (cells.size() > 8 ? ' ' + cells[8] : std::string()));
    }
    exporter.wait();
    return rows;
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
// it the focus, so the rest of the value is typed nowhere, then or later, with no key left
// down; the values of that run still waiting are not typed in the next run either.
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
    EXPECT_EQ(recorder.transcript(2, 3000), "1") << "the stopped value went on later";
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
    EXPECT_EQ(recorder.transcript(9, 10000), "13.5<Tab>") << x.window->errorText();
}

// The focus moves while values are typed, to our window (as a click on it does) or to another
// application: each value is typed whole or cut short where the focus left, never continued
// with a gap nor in the other window; the record says typed exactly for the values that
// arrived whole.
TEST(WindowTypes, AValueGoesOnlyIntoTheWindowItBeganIn) {
    WindowOnX x("20");
    ASSERT_TRUE(x.display);
    ASSERT_TRUE(portOpened(x.pty, *x.window)) << x.window->errorText();
    tarovex_test::XTextRecorder recorder(x.server.display());
    const Window other = x.recorderWindow();
    tarovex_test::XTextRecorder second(x.server.display());
    const Window ours = x.ours(), elsewhere = x.find("tarovex-test-xrecorder", true, other);
    ASSERT_TRUE(ours && other && elsewhere);
    x.focus(other);
    std::string typed;
    for (int i = 0; i < 12; ++i) {
        x.pty.write(reading(std::to_string(200 + 11 * i) + ".67"));
        typed = recorder.transcript(typed.size() + 2, 3000);
        XSetInputFocus(x.display, i % 2 ? ours : elsewhere, RevertToParent, CurrentTime);
        XSync(x.display, False);
        std::this_thread::sleep_for(60ms);
        x.focus(other);
        typed = recorder.transcript(typed.size() + 100, 400);
    }
    EXPECT_EQ(second.transcript(1, 500), "") << "typed on in another window";
    EXPECT_FALSE(x.anyKeyDown());
    std::this_thread::sleep_for(500ms);
    std::size_t whole = 0, at = 0;
    int settled = 0;
    for (const std::string& row : journalRows(x)) {
        const std::string value = row.substr(0, row.find(' '));
        if (row.find(" typed") != std::string::npos) {
            ++whole;
            at = typed.find(value + "<Tab>", at);
            EXPECT_NE(at, std::string::npos) << value << " said typed, arrived: " << typed;
        } else {
            EXPECT_EQ(row, value + " dropped focus changed");
        }
        ++settled;
    }
    EXPECT_EQ(settled, 12);
    EXPECT_EQ(values(typed), whole) << typed;
}

// The request key, held for a short or a long while, or with its modifiers released first:
// the value it asks for waits until every key is up, and arrives whole.
TEST(WindowTypes, AValueAskedByTheRequestKeyArrivesWhole) {
    QTemporaryDir gaugeHome;
    tools_test::Process gauge(TAROVEX_BINARY_DIR "/tools/tarovex-virtual-instrument",
                              {"--preset", "MITUTOYO", "--answer"},
                              tools_test::isolatedEnv(gaugeHome.path()));
    const std::string port = gauge.readLine().value_or("");
    ASSERT_FALSE(port.empty()) << gauge.errorText();
    for (const char* key : {"Pause", "Ctrl+Alt+R"}) {
        WindowOnX x("5", {{"instrument", "MITUTOYO"}, {"requestHotkey", key}}, port);
        ASSERT_TRUE(x.display);
        tarovex_test::XTextRecorder recorder(x.server.display());
        // Once a request is answered the run reads, and has taken the key.
        for (int i = 0; i < 50; ++i) {
            tools_test::Process request(TAROVEX_BINARY_DIR "/tarovex/tarovex", {"--request"}, x.env());
            if (request.wait() == 0)
                break;
            std::this_thread::sleep_for(200ms);
        }
        std::string typed = recorder.transcript(1000, 3000);
        ASSERT_TRUE(typed.ends_with("<Tab>")) << typed << x.window->errorText();
        for (const int heldMs : {30, 100, 300}) {
            if (std::string(key) == "Pause") {
                x.keys({{XK_Pause, true}});
                std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
                x.keys({{XK_Pause, false}});
            } else { // Ctrl and Alt let go before R
                x.keys({{XK_Control_L, true}, {XK_Alt_L, true}, {XK_r, true}});
                std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
                x.keys({{XK_Alt_L, false}, {XK_Control_L, false}});
                std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
                x.keys({{XK_r, false}});
            }
            const std::string before = typed;
            typed = recorder.transcript(typed.size() + 1000, 1500);
            const std::string value = typed.substr(before.size());
            EXPECT_TRUE(value.ends_with("<Tab>") && value.find('.') != std::string::npos &&
                        value.find_first_not_of("-0123456789.") == value.size() - 5)
                << key << " held " << heldMs << " ms typed \"" << value << "\"\n"
                << x.window->errorText();
        }
    }
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
    tools_test::Process unknown(TAROVEX_BINARY_DIR "/tarovex/tarovex", {"--request", "Nowhere"}, x.env());
    EXPECT_EQ(unknown.wait(), 1);
    EXPECT_NE(unknown.errorText().find("no instrument is labelled Nowhere"), std::string::npos)
        << unknown.errorText();

    x.keys({{XK_Control_L, true}, {XK_Alt_L, true}, {XK_r, true}, {XK_r, false}});
    EXPECT_EQ(recorder.transcript(first.size() + 1, 600), first) << "typed under Ctrl+Alt";
    x.keys({{XK_Alt_L, false}, {XK_Control_L, false}});
    const std::string both = recorder.transcript(1000, 3000);
    EXPECT_EQ(values(both), 2u) << both << x.window->errorText();
    EXPECT_EQ(both.find("<Tab>", first.size()) + 5, both.size()) << both;
}

} // namespace
