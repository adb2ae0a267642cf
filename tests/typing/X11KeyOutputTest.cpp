#include "typing/X11KeyOutput.h"
#include "config/ConfigHelper.h"
#include "tests/XTextRecorder.h"
#include "tests/XvfbServer.h"
#include "tests/typing/KeysTestSupport.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/Keybot.h"

#include <gtest/gtest.h>

// Last: the X headers define macros (None, Bool, Status) that other headers use as names.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include <unistd.h>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

// Every character of the complete coverage, on any declared layout.
std::u32string coverageText() {
    std::u32string text;
    for (const QChar c :
         KeyboardType::getKeymap(KeyboardType::QUERTY, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
        text += char32_t(c.unicode());
    return text;
}

std::string utf8(const std::u32string& s) {
    return QString::fromUcs4(s.data(), qsizetype(s.size())).toStdString();
}

struct XKeyboard {
    std::vector<KeySym> mapping;
    unsigned lockedMods = 0, baseMods = 0, group = 0;
    bool anyKeyDown = false;
    friend bool operator==(const XKeyboard&, const XKeyboard&) = default;
};

class X11KeyOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new tarovex_test::XvfbServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        display_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(display_, nullptr);
    }
    void TearDown() override { XCloseDisplay(display_); }

    void setCapsLock(bool on) {
        XkbLockModifiers(display_, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
        XSync(display_, False);
    }

    // The user's hand on a key, through XTest of the test's own connection.
    void hold(KeySym keysym, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), down ? True : False, CurrentTime);
        XSync(display_, False);
    }

    // What a user of the keyboard would see of it: mapping, modifiers, keys held.
    XKeyboard keyboard() {
        XKeyboard k;
        int min = 0, max = 0, per = 0;
        XDisplayKeycodes(display_, &min, &max);
        KeySym* syms = XGetKeyboardMapping(display_, KeyCode(min), max - min + 1, &per);
        k.mapping.assign(syms, syms + (max - min + 1) * per);
        XFree(syms);
        XkbStateRec st{};
        XkbGetState(display_, XkbUseCoreKbd, &st);
        k.lockedMods = st.locked_mods;
        k.baseMods = st.base_mods;
        k.group = st.group;
        char keys[32];
        XQueryKeymap(display_, keys);
        for (char c : keys)
            k.anyKeyDown |= c != 0;
        return k;
    }

    static tarovex_test::XvfbServer* server_;
    Display* display_ = nullptr;
};
tarovex_test::XvfbServer* X11KeyOutputTest::server_ = nullptr;

struct LayoutRow {
    const char* layout;
    const char* variant;
    const char* description;
};

// Every mark of the complete coverage and the terminator keys arrive exactly, on the layout
// each declared layout is meant for and on ones with other marks or no Latin letters, with
// Caps Lock off and on; the keyboard is left as it was, remapped keycodes included.
TEST_F(X11KeyOutputTest, CoverageArrivesExactlyOnEveryLayout) {
    const LayoutRow rows[] = {
        {"us", "", "X11 (XTest), layout us"}, {"us", "intl", "X11 (XTest), layout us(intl)"},
        {"de", "", "X11 (XTest), layout de"}, {"fr", "", "X11 (XTest), layout fr"},
        {"ru", "", "X11 (XTest), layout ru"}, {"ru,de", ",", "X11 (XTest), layout ru,de"},
    };
    const std::u32string text = coverageText();
    ASSERT_GT(text.size(), 90u);
    const std::string expected = utf8(text) + "<Return><Tab>";
    for (const LayoutRow& row : rows) {
        for (const bool caps : {false, true}) {
            SCOPED_TRACE(std::string(row.layout) + "(" + row.variant + ")" + (caps ? " caps lock" : ""));
            ASSERT_TRUE(server_->setLayout(row.layout, row.variant));
            setCapsLock(caps);
            const XKeyboard before = keyboard();
            tarovex_test::XTextRecorder recorder(server_->display());
            {
                X11KeyOutput output(server_->display());
                EXPECT_EQ(output.description().toStdString(), row.description);
                for (char32_t c : text)
                    output.type(TypedKey{c});
                output.type(TypedKey{NamedKey::Enter});
                output.type(TypedKey{NamedKey::Tab});
                EXPECT_EQ(recorder.transcript(expected.size()), expected);
            }
            EXPECT_EQ(keyboard(), before);
        }
    }
    setCapsLock(false);
}

// For a remote viewer: what only a remapped keycode or another group would type is refused
// before anything is sent, the keyboard left alone; what the active group has keys for arrives.
TEST_F(X11KeyOutputTest, RemoteModeTypesOnlyKeysOfTheActiveGroup) {
    const struct {
        const char* layout;
        const char* variant;
        char32_t character;
        bool typeable;
    } rows[] = {{"us", "", U'~', true},
                {"us", "", U'\u00e4', false},
                {"ru,de", ",", U'\u0436', true},
                {"ru,de", ",", U'a', false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.layout) + " " + utf8(std::u32string(1, row.character)));
        ASSERT_TRUE(server_->setLayout(row.layout, row.variant));
        const XKeyboard before = keyboard();
        tarovex_test::XTextRecorder recorder(server_->display());
        X11KeyOutput output(server_->display(), std::chrono::milliseconds(20));
        EXPECT_EQ(output.cannotType(row.character).has_value(), !row.typeable);
        if (row.typeable) {
            output.type(TypedKey{row.character});
            const std::string text = utf8(std::u32string(1, row.character));
            EXPECT_EQ(recorder.transcript(text.size()), text);
        } else {
            EXPECT_THROW(output.type(TypedKey{row.character}), CannotTypeError);
        }
        EXPECT_EQ(keyboard(), before);
    }
}

// A layout switched while the output lives is the one the next key is typed on.
TEST_F(X11KeyOutputTest, FollowsALayoutChange) {
    ASSERT_TRUE(server_->setLayout("us"));
    tarovex_test::XTextRecorder recorder(server_->display());
    X11KeyOutput output(server_->display());
    output.type(TypedKey{U'y'});
    ASSERT_TRUE(server_->setLayout("de"));
    output.type(TypedKey{U'y'});
    output.type(TypedKey{U'@'});
    EXPECT_EQ(recorder.transcript(3), "yy@");
    EXPECT_EQ(output.description().toStdString(), "X11 (XTest), layout de");
}

TEST_F(X11KeyOutputTest, ADisplayThatCannotBeOpenedIsNamed) {
    try {
        X11KeyOutput output(":4099");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot open the X display \":4099\"");
    }
}

// What the program does: the Keybot types through the key map of the declared layout, and
// the backend turns that into the characters on whatever layout the server has active.
TEST_F(X11KeyOutputTest, KeybotTypesTheDeclaredLayoutsCoverageOnAnotherXLayout) {
    const struct {
        KeyboardType declared;
        const char* layout;
        bool caps;
    } rows[] = {
        {KeyboardType::GERMAN, "us", false},
        {KeyboardType::QUERTY, "fr", false},
        {KeyboardType::QUERTY, "ru", true},
        {KeyboardType::AZERTY, "de", false},
        {KeyboardType::US_INTERNATIONAL, "fr", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.declared.name().toStdString() + " on " + row.layout);
        ASSERT_TRUE(server_->setLayout(row.layout));
        setCapsLock(row.caps);
        QString text;
        for (const QChar c : KeyboardType::getKeymap(row.declared, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
            text += c;
        tarovex_test::XTextRecorder recorder(server_->display());
        keys_test::LogView view;
        tarovex::typing::KeystrokeQueue queue;
        tarovex::typing::Keybot keybot(0, 0, tarovex::config::KeyCodes::VK_ENTER, 0, 0, row.declared,
                                       KeyMapType::ALPHANUMERIC_COMPLETE, view,
                                       std::make_unique<InterpretingSynthesizer>(
                                           row.declared, std::make_unique<X11KeyOutput>(server_->display())),
                                       queue);
        keybot.typeValue(text);
        const std::string expected = text.toStdString() + "<Return>";
        EXPECT_EQ(recorder.transcript(expected.size()), expected);
        EXPECT_TRUE(view.important().isEmpty()) << view.important().join(u'\n').toStdString();
    }
    setCapsLock(false);
}

// A value that comes while the user holds Ctrl (or AltGr) waits, typed nothing, until the key
// is released, and the wait is logged; held past the limit it is dropped whole, with a
// warning; a stop during the wait ends it at once and drops the value. Caps Lock on does
// not count as held.
TEST_F(X11KeyOutputTest, ValuesWaitForHeldModifiers) {
    using namespace std::chrono_literals;
    ASSERT_TRUE(server_->setLayout("de"));
    setCapsLock(true);
    struct Typing {
        explicit Typing(const std::string& display, std::chrono::milliseconds limit)
            : keybot(0, 0, tarovex::config::KeyCodes::VK_ENTER, 0, 0, KeyboardType::QUERTY,
                     KeyMapType::ALPHANUMERIC_COMPLETE, view,
                     std::make_unique<InterpretingSynthesizer>(KeyboardType::QUERTY,
                                                               std::make_unique<X11KeyOutput>(display)),
                     queue) {
            keybot.setKeyWaitLimit(limit);
            thread = std::jthread([this](std::stop_token stop) { keybot.run(stop); });
        }
        keys_test::LogView view;
        tarovex::typing::KeystrokeQueue queue;
        tarovex::typing::Keybot keybot;
        std::jthread thread;
    };
    for (const KeySym modifier : {XK_Control_L, XK_ISO_Level3_Shift}) {
        tarovex_test::XTextRecorder recorder(server_->display());
        Typing typing(server_->display(), 5000ms);
        hold(modifier, true);
        typing.keybot.putString("12.5");
        EXPECT_EQ(recorder.transcript(1, 400), "");
        hold(modifier, false);
        EXPECT_EQ(recorder.transcript(10), "12.5<Return>");
        ASSERT_EQ(typing.view.events().size(), 1);
        const int waited = typing.view.events()[0].section(u' ', 1, 1).toInt();
        EXPECT_GE(waited, 300) << typing.view.events()[0].toStdString();
        EXPECT_TRUE(typing.view.important().isEmpty());
    }
    {
        tarovex_test::XTextRecorder recorder(server_->display());
        Typing typing(server_->display(), 300ms);
        hold(XK_Control_L, true);
        typing.keybot.putString("7");
        std::this_thread::sleep_for(800ms);
        hold(XK_Control_L, false);
        ASSERT_EQ(typing.view.important().size(), 1);
        EXPECT_TRUE(typing.view.important()[0].contains("the value 7 is not typed"));
        EXPECT_EQ(recorder.transcript(1, 400), "");
    }
    {
        tarovex_test::XTextRecorder recorder(server_->display());
        Typing typing(server_->display(), 5000ms);
        hold(XK_Control_L, true);
        typing.keybot.putString("8");
        std::this_thread::sleep_for(200ms);
        const auto stopped = std::chrono::steady_clock::now();
        typing.thread.request_stop();
        typing.thread.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1000ms); // not the 5 s limit
        hold(XK_Control_L, false);
        EXPECT_EQ(recorder.transcript(1, 400), "");
    }
    setCapsLock(false);
}

// A value goes only into the window it began in: when another application takes the focus
// mid-value, the rest is typed nowhere, every key is released and the value is told as
// dropped; while a window of this process has the focus, a value waits for it to go.
TEST_F(X11KeyOutputTest, AValueStaysInTheWindowItBeganIn) {
    using namespace std::chrono_literals;
    using tarovex::typing::TypingFate;
    keys_test::LogView view;
    tarovex::typing::KeystrokeQueue queue;
    tarovex::typing::Keybot keybot(
        60, 0, tarovex::config::KeyCodes::VK_ENTER, 0, 0, KeyboardType::QUERTY, KeyMapType::NUMERIC, view,
        std::make_unique<InterpretingSynthesizer>(KeyboardType::QUERTY,
                                                  std::make_unique<X11KeyOutput>(server_->display())),
        queue);
    std::mutex mutex;
    std::vector<TypingFate> fates;
    keybot.setFateHandler([&](std::vector<TypingFate> told) {
        const std::lock_guard lock(mutex);
        fates.insert(fates.end(), told.begin(), told.end());
    });
    const auto told = [&] {
        const std::lock_guard lock(mutex);
        return fates;
    };
    std::jthread thread([&](std::stop_token stop) { keybot.run(stop); });

    tarovex_test::XTextRecorder first(server_->display());
    keybot.putString("1234567", 1);
    ASSERT_EQ(first.transcript(1, 3000), "1");
    tarovex_test::XTextRecorder second(server_->display()); // takes the focus
    ASSERT_TRUE(keys_test::waitFor([&] { return !told().empty(); }));
    EXPECT_EQ(told()[0].id, 1u);
    EXPECT_EQ(told()[0].dropped, tarovex::reading::DropReason::FOCUS_CHANGED);
    EXPECT_EQ(second.transcript(1, 500), "");
    EXPECT_LT(first.transcript(7, 300).size(), 7u) << "the value went on in the first window";
    EXPECT_FALSE(keyboard().anyKeyDown);

    // A window carrying this process's id, as the program's own windows do.
    const Window ours = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 50, 0, 0, 0);
    const long pid = ::getpid();
    XChangeProperty(display_, ours, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(display_, ours);
    XSync(display_, False);
    std::this_thread::sleep_for(100ms);
    XSetInputFocus(display_, ours, RevertToParent, CurrentTime);
    XSync(display_, False);
    keybot.putString("8", 2);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(told().size(), 1u) << "typed into our own window";
    tarovex_test::XTextRecorder third(server_->display());
    EXPECT_EQ(third.transcript(9, 3000), "8<Return>");
    ASSERT_TRUE(keys_test::waitFor([&] { return told().size() == 2; }));
    EXPECT_TRUE(told()[1].typed());
    XDestroyWindow(display_, ours);
}

// A focus that moves after the check before a key but before the key itself (a click
// landing in between): the key is held back, never sent to the window that now has it.
TEST_F(X11KeyOutputTest, AFocusMovedBetweenTheCheckAndTheKeyGetsNoKey) {
    using tarovex::typing::TypingFate;
    const Window other = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 50, 0, 0, 0);
    XSelectInput(display_, other, KeyPressMask);
    XMapWindow(display_, other);
    XSync(display_, False);
    tarovex_test::XTextRecorder first(server_->display());

    // Moves the focus to `other` just after the fourth check has approved a key.
    class Thief : public KeyOutput {
    public:
        Thief(const std::string& display, Display* d, Window to)
            : real_(display), d_(d), to_(to) {}
        void type(const TypedKey& key) override { real_.type(key); }
        QString description() const override { return real_.description(); }
        std::optional<KeyTarget> target() override {
            const auto t = real_.target();
            if (++checks_ == 4) {
                XSetInputFocus(d_, to_, RevertToParent, CurrentTime);
                XSync(d_, False);
            }
            return t;
        }

    private:
        X11KeyOutput real_;
        Display* d_;
        Window to_;
        int checks_ = 0;
    };
    keys_test::LogView view;
    tarovex::typing::KeystrokeQueue queue;
    tarovex::typing::Keybot keybot(
        0, 0, tarovex::config::KeyCodes::VK_ENTER, 0, 0, KeyboardType::QUERTY, KeyMapType::NUMERIC, view,
        std::make_unique<InterpretingSynthesizer>(KeyboardType::QUERTY,
                                                  std::make_unique<Thief>(server_->display(), display_, other)),
        queue);
    std::mutex mutex;
    std::vector<TypingFate> fates;
    keybot.setFateHandler([&](std::vector<TypingFate> told) {
        const std::lock_guard lock(mutex);
        fates.insert(fates.end(), told.begin(), told.end());
    });
    std::jthread thread([&](std::stop_token stop) { keybot.run(stop); });
    keybot.putString("1234567", 1);
    ASSERT_TRUE(keys_test::waitFor([&] {
        const std::lock_guard lock(mutex);
        return !fates.empty();
    }));
    EXPECT_EQ(fates[0].dropped, tarovex::reading::DropReason::FOCUS_CHANGED);
    XSync(display_, False);
    XEvent event;
    EXPECT_FALSE(XCheckWindowEvent(display_, other, KeyPressMask, &event))
        << "a key went to the window that had just taken the focus";
    EXPECT_LT(first.transcript(7, 300).size(), 7u);
    EXPECT_FALSE(keyboard().anyKeyDown);
    XDestroyWindow(display_, other);
}

} // namespace
