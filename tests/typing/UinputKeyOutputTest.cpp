#include "typing/UinputKeyOutput.h"
#include "config/ConfigHelper.h"
#include "tests/SwayServer.h"
#include "tests/XTextRecorder.h"
#include "typing/DeclaredLayout.h"

#include <gtest/gtest.h>
#include <linux/uinput.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

using namespace tarovex::typing;
using tarovex::config::ConfigHelper::KeyboardType;
using tarovex::config::ConfigHelper::KeyMapType;

namespace {

// The uinput device as the kernel would take it: the set-up is accepted, the key events
// written are kept.
class RecordingUinput : public Tarolink::PosixSyscalls {
public:
    int open(const char*, int) override { return openError ? (errno = openError, -1) : 42; }
    int close(int) override { return 0; }
    int ioctl(int, unsigned long request, void*) override {
        requests.push_back(request);
        return 0;
    }
    ssize_t write(int, const void* buffer, size_t count) override {
        const auto* e = static_cast<const input_event*>(buffer);
        events.insert(events.end(), e, e + count / sizeof(input_event));
        return ssize_t(count);
    }
    int openError = 0;
    std::vector<unsigned long> requests;
    std::vector<input_event> events;
};

// The text a desktop makes of the event stream with that layout (and Caps Lock state):
// key codes through an XKB state, dead keys through the compose table.
std::string desktopText(const std::vector<input_event>& events, const XkbRuleNames& names, bool capsLock) {
    auto* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names rmlvo{"evdev", "pc105", names.layout.c_str(), names.variant.c_str(),
                               names.options.c_str()};
    auto* keymap = xkb_keymap_new_from_names(context, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS);
    auto* state = xkb_state_new(keymap);
    auto* table = xkb_compose_table_new_from_locale(context, "en_US.UTF-8", XKB_COMPOSE_COMPILE_NO_FLAGS);
    auto* compose = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
    if (capsLock)
        xkb_state_update_mask(state, 0, 0, lockModMask, 0, 0, 0);
    std::string text;
    for (const input_event& e : events) {
        if (e.type != EV_KEY)
            continue;
        const xkb_keycode_t keycode = e.code + 8;
        if (e.value == 1) {
            const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, keycode);
            xkb_compose_state_feed(compose, sym);
            char buffer[64] = {};
            switch (xkb_compose_state_get_status(compose)) {
            case XKB_COMPOSE_COMPOSED:
                xkb_compose_state_get_utf8(compose, buffer, sizeof buffer);
                xkb_compose_state_reset(compose);
                text += buffer;
                break;
            case XKB_COMPOSE_NOTHING:
                if (sym == XKB_KEY_Return || sym == XKB_KEY_Tab) {
                    xkb_keysym_get_name(sym, buffer, sizeof buffer);
                    text += "<" + std::string(buffer) + ">";
                } else {
                    xkb_state_key_get_utf8(state, keycode, buffer, sizeof buffer);
                    text += buffer;
                }
                break;
            default:
                break;
            }
        }
        xkb_state_update_key(state, keycode, e.value ? XKB_KEY_DOWN : XKB_KEY_UP);
    }
    xkb_compose_state_unref(compose);
    xkb_compose_table_unref(table);
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return text;
}

// Every character of every declared layout and coverage, and the terminators, come out of
// the event stream as the desktop reads it with the layout's keymap, Caps Lock off and on.
TEST(UinputKeyOutputTest, EventStreamReadsBackAsTheTextOnEveryLayout) {
    for (const KeyboardType type : KeyboardType::values())
        for (const KeyMapType coverage : KeyMapType::values())
            for (const bool caps : {false, true}) {
                const XkbRuleNames names = declaredXkbLayout(type, {}, "/nonexistent");
                SCOPED_TRACE(names.layout + "(" + names.variant + ")" + (caps ? " caps lock" : ""));
                RecordingUinput sys;
                UinputKeyOutput output({names, "/dev/uinput", [caps] { return caps; }, false}, sys);
                QString text;
                for (const QChar c : KeyboardType::getKeymap(type, coverage).keys()) {
                    output.type(TypedKey{char32_t(c.unicode())});
                    text += c;
                }
                output.type(TypedKey{NamedKey::Enter});
                output.type(TypedKey{NamedKey::Tab});
                EXPECT_EQ(desktopText(sys.events, names, caps), text.toStdString() + "<Return><Tab>");
            }
}

TEST(UinputKeyOutputTest, CreatesTheNamedDeviceAndCannotTypeWhatTheLayoutLacks) {
    RecordingUinput sys;
    UinputKeyOutput output({{"us", ""}, "/dev/uinput", {}, false}, sys);
    EXPECT_NE(std::find(sys.requests.begin(), sys.requests.end(), UI_DEV_CREATE), sys.requests.end());
    EXPECT_EQ(output.description().toStdString(),
              "uinput (Tarovex virtual keyboard), layout us, usable after 0 ms");
    EXPECT_THROW(output.type(TypedKey{U'ß'}), CannotTypeError);
    EXPECT_TRUE(sys.events.empty());
}

TEST(UinputKeyOutputTest, WithoutAccessTheMessageSaysWhatToDo) {
    RecordingUinput sys;
    sys.openError = EACCES;
    try {
        UinputKeyOutput output({{"us", ""}, "/dev/uinput", {}, false}, sys);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), UinputKeyOutput::accessMessage("/dev/uinput", EACCES));
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("sudo modprobe uinput"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("KERNEL==\"uinput\", TAG+=\"uaccess\""), std::string::npos);
    }
}

TEST(UinputKeyOutputTest, DeclaredLayoutsAndTheSystemConfiguration) {
    const std::string file = testing::TempDir() + "/keyboard";
    std::ofstream(file) << "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"de\"\nXKBVARIANT=\"nodeadkeys\"\n";
    struct Row {
        KeyboardType type;
        std::string explicitLayout, keyboardFile, layout, variant;
    } rows[] = {
        {KeyboardType::QUERTY, "", file, "us", ""},
        {KeyboardType::US_INTERNATIONAL, "", file, "us", "intl"},
        {KeyboardType::GERMAN, "", file, "de", ""},
        {KeyboardType::AZERTY, "", file, "fr", ""},
        {KeyboardType::ALL, "", file, "de", "nodeadkeys"},
        {KeyboardType::ALL, "", "/nonexistent", "us", ""},
        {KeyboardType::GERMAN, "fr(azerty)", file, "fr", "azerty"},
    };
    for (const Row& r : rows) {
        const XkbRuleNames names = declaredXkbLayout(r.type, r.explicitLayout, r.keyboardFile);
        EXPECT_EQ(names.layout + "/" + names.variant, r.layout + "/" + r.variant)
            << r.type.name().toStdString();
    }
}

// Level three comes from the key the compiled keymap binds ISO_Level3_Shift to, one a real
// keyboard has before XKB's virtual <LVL3> (evdev 84), which the text console does not map.
// ru (pc105) binds it to <LVL3> only: Right Alt there is Alt, and Alt+8 is no rouble sign.
TEST(UinputKeyOutputTest, LevelThreeIsTypedWithTheKeyTheKeymapBindsItTo) {
    constexpr int virtualLevelThree = 84;
    const struct {
        const char* layout;
        const char* variant;
        const char* options;
        char32_t character;
        int levelThreeKey;
        int key;
        bool switched = false; // created for us, then switched to the layout
    } rows[] = {
        {"de", "", "", U'@', KEY_RIGHTALT, KEY_Q},
        {"de", "", "", U'}', KEY_RIGHTALT, KEY_0},
        {"fr", "", "", U'#', KEY_RIGHTALT, KEY_3},
        {"de", "", "", U'@', KEY_RIGHTALT, KEY_Q, true},
        {"ru", "", "", U'\u20BD', virtualLevelThree, KEY_8},
        {"ru", "mac", "", U'\u20BD', KEY_RIGHTALT, KEY_H},
        {"ru", "ruu", "", U'\u045E', KEY_RIGHTALT, KEY_E},
        {"ru", "olpc", "", U'\u2116', virtualLevelThree, KEY_3},
        {"ru", "", "lv3:ralt_switch", U'\u20BD', KEY_RIGHTALT, KEY_8},
        {"ru", "", "lv3:menu_switch", U'\u20BD', KEY_COMPOSE, KEY_8},
        {"ru", "", "lv3:caps_switch", U'\u20BD', KEY_CAPSLOCK, KEY_8},
    };
    for (const auto& row : rows) {
        XkbRuleNames names(row.layout, row.variant);
        names.options = row.options;
        RecordingUinput sys;
        UinputKeyOutput output({row.switched ? XkbRuleNames("us") : names, "/dev/uinput", {}, false}, sys);
        if (row.switched)
            output.setLayout(names);
        EXPECT_EQ(output.cannotType(row.character), std::nullopt);
        output.type(TypedKey{row.character});
        std::vector<std::pair<int, int>> keys;
        for (const input_event& e : sys.events)
            if (e.type == EV_KEY)
                keys.emplace_back(e.code, e.value);
        EXPECT_EQ(keys, (std::vector<std::pair<int, int>>{
                            {row.levelThreeKey, 1}, {row.key, 1}, {row.key, 0}, {row.levelThreeKey, 0}}))
            << row.layout << "(" << row.variant << ") " << row.options << " U+" << std::hex
            << unsigned(row.character);
        EXPECT_EQ(desktopText(sys.events, names, false),
                  QString(QChar(char16_t(row.character))).toStdString());
    }
}

// The kernel's own device. This machine's kernel may have none: tools/vm-test.sh runs these
// tests on one that has (TAROVEX_IN_VM set), where a missing device is a failure.
class RealUinputTest : public testing::Test {
protected:
    void SetUp() override {
        const int fd = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        const std::string why = std::strerror(errno);
        if (std::getenv("TAROVEX_IN_VM"))
            FAIL() << "/dev/uinput: " << why;
        GTEST_SKIP() << "no usable /dev/uinput here (" << why
                     << "); the Vm test runs this on a kernel with one";
    }
};

// The event node of our device, read as a compositor reads it.
class EventNode {
public:
    EventNode() {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class/input", ec)) {
            std::string name;
            std::getline(std::ifstream(entry.path() / "device/name"), name);
            const std::string node = entry.path().filename().string();
            if (name == "Tarovex virtual keyboard" && node.starts_with("event"))
                fd_ = ::open(("/dev/input/" + node).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
    }
    ~EventNode() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    // The events that arrived so far; the kernel queues them as the device is written.
    void drainInto(std::vector<input_event>& events) {
        input_event buffer[64];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            events.insert(events.end(), buffer, buffer + n / ssize_t(sizeof(input_event)));
    }
    // The keys the kernel holds down on the device now.
    int keysDown() const {
        unsigned char bits[KEY_MAX / 8 + 1] = {};
        if (::ioctl(fd_, EVIOCGKEY(sizeof bits), bits) < 0)
            return -1;
        int down = 0;
        for (const unsigned char b : bits)
            down += std::popcount(b);
        return down;
    }

private:
    int fd_ = -1;
};

// Our virtual keyboard, created for real: the complete coverage of every declared keyboard type
// comes out of its event node as the text on the layout it typed for, with Right Alt for level
// three where the layout has it there, and no key left down. Russian lacks the Latin letters;
// Cyrillic text stands in.
TEST_F(RealUinputTest, EveryLayoutsCoverageArrivesExactlyThroughTheKernel) {
    const std::string keyboardFile = testing::TempDir() + "/keyboard-ru";
    std::ofstream(keyboardFile) << "XKBLAYOUT=\"ru\"\n";
    constexpr int virtualLevelThree = 84; // XKB's <LVL3>
    const QString cyrillic =
        QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№");
    const struct {
        KeyboardType type;
        std::string layout;
        int levelThreeKey; // 0: no character needs level three
    } rows[] = {
        {KeyboardType::QUERTY, "us/", 0},
        {KeyboardType::US_INTERNATIONAL, "us/intl", KEY_RIGHTALT},
        {KeyboardType::GERMAN, "de/", KEY_RIGHTALT},
        {KeyboardType::AZERTY, "fr/", KEY_RIGHTALT},
        {KeyboardType::ALL, "ru/", virtualLevelThree},
    };
    for (const auto& row : rows) {
        const XkbRuleNames names = declaredXkbLayout(row.type, {}, keyboardFile);
        SCOPED_TRACE(row.layout);
        ASSERT_EQ(names.layout + "/" + names.variant, row.layout);
        UinputKeyOutput output({names, "/dev/uinput", {}, true});
        std::cout << output.description().toStdString() << "\n";
        EventNode node;
        ASSERT_TRUE(node.isOpen());
        QString text = row.type == KeyboardType::ALL ? cyrillic : QString();
        for (const QChar c : KeyboardType::getKeymap(row.type, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
            text += c;
        std::vector<input_event> events;
        std::string typed, lacking;
        for (const QChar c : text) {
            try {
                output.type(TypedKey{char32_t(c.unicode())});
                typed += QString(c).toStdString();
            } catch (const CannotTypeError&) {
                lacking += QString(c).toStdString();
            }
            node.drainInto(events);
        }
        output.type(TypedKey{NamedKey::Enter});
        output.type(TypedKey{NamedKey::Tab});
        node.drainInto(events);
        EXPECT_EQ(desktopText(events, names, false), typed + "<Return><Tab>");
        EXPECT_EQ(lacking, row.type == KeyboardType::ALL
                               ? "#&'<>@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^`abcdefghijklmnopqrstuvwxyz{}~"
                               : "");
        EXPECT_EQ(node.keysDown(), 0);
        const auto pressed = [&](int code) {
            return std::count_if(events.begin(), events.end(),
                                 [&](const input_event& e) { return e.type == EV_KEY && e.code == code; });
        };
        EXPECT_EQ(pressed(KEY_RIGHTALT) > 0, row.levelThreeKey == KEY_RIGHTALT);
        EXPECT_EQ(pressed(virtualLevelThree) > 0, row.levelThreeKey == virtualLevelThree);
        EXPECT_EQ(
            std::count_if(events.begin(), events.end(),
                          [](const input_event& e) { return e.type == EV_SYN && e.code == SYN_DROPPED; }),
            0);
    }
}

// The whole way to an application on a desktop: sway, as an unprivileged user, reads our
// device through udev and libinput like any keyboard and hands its keys to a Wayland
// application, which reads them with sway's layout. The machine's own keyboard is switched
// off, so the application gets the focus only once sway has taken ours up: how long after its
// creation is printed. The application has no compose table, so the dead keys (^ and `) are
// left to the test above.
TEST_F(RealUinputTest, KeysReachAWaylandApplicationOnSway) {
    if (!std::filesystem::exists("/run/seatd.sock")) {
        if (std::getenv("TAROVEX_IN_VM"))
            FAIL() << "no seat manager: the machine runs this under tests/vm/desktop.sh";
        GTEST_SKIP() << "no seat manager (seatd) for a compositor on the kernel's devices";
    }
    tarovex_test::SwayServer sway("input type:keyboard xkb_layout de\n"
                                  "input 1:1:AT_Translated_Set_2_keyboard events disabled\n",
                                  true);
    ASSERT_TRUE(sway.available()) << sway.reason();
    const auto created = std::chrono::steady_clock::now();
    UinputKeyOutput output({{"de", ""}, "/dev/uinput", {}, true});
    // An emulated machine takes its time to start sway's input.
    tarovex_test::WaylandTextRecorder recorder(sway.socket(), 60000);
    std::cout << output.description().toStdString() << "; the application had the focus after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                       created)
                     .count()
              << " ms\n";
    std::string expected;
    for (const QChar c :
         KeyboardType::getKeymap(KeyboardType::GERMAN, KeyMapType::ALPHANUMERIC_COMPLETE).keys())
        if (c != u'^' && c != u'`') {
            // A pause between keys, as the settings' delay makes: without one, the kernel's queue
            // per reader (some 8 to 16 characters) overflows while the emulated sway, some 30
            // times slower than on hardware, is busy, and keys are dropped.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            output.type(TypedKey{char32_t(c.unicode())});
            expected += char(c.unicode());
        }
    output.type(TypedKey{NamedKey::Enter});
    expected += "<Return>";
    EXPECT_EQ(recorder.transcript(expected.size()), expected);
}

} // namespace