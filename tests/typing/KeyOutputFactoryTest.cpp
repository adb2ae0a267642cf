#include "typing/KeyOutputFactory.h"
#include "tests/XvfbServer.h"
#include "typing/UinputKeyOutput.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

// Last: the X headers define macros that other headers use as names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

using namespace tarovex::typing;

namespace {

// Which backend the session gets, and the reasons carried when none works.
TEST(KeyOutputFactoryTest, ChoosesByTheSessionAndCarriesTheReasons) {
    tarovex_test::XvfbServer server;
    const std::string noUinput = UinputKeyOutput::accessMessage("/nonexistent/uinput", ENOENT);
    struct Row {
        KeyBackend backend;
        std::string display, wayland, result;
    } rows[] = {
        {KeyBackend::Automatic, server.display(), "", "X11 (XTest), layout us"},
        {KeyBackend::X11, server.display(), "/nonexistent/wayland-0", "X11 (XTest), layout us"},
        {KeyBackend::Automatic, server.display(), "/nonexistent/wayland-0", "uinput: " + noUinput},
        {KeyBackend::Automatic, "", "", "uinput: " + noUinput},
        {KeyBackend::Uinput, server.display(), "", "uinput: " + noUinput},
        {KeyBackend::X11, ":4099", "", "X11: Cannot open the X display \":4099\""},
        {KeyBackend::Automatic, ":4099", "", "X11: Cannot open the X display \":4099\"; uinput: " + noUinput},
        {KeyBackend::Gnome, "", "wayland-0",
         "GNOME: Cannot connect to the session bus: Failed to connect to socket /nonexistent/bus: No such "
         "file or directory"},
#ifdef TAROVEX_KWIN
        {KeyBackend::Kde, "", "/nonexistent/wayland-0",
         "KDE: Cannot connect to the Wayland display \"/nonexistent/wayland-0\""},
#endif
        {KeyBackend::Portal, "", "wayland-0",
         "portal: Cannot connect to the session bus: Failed to connect to socket /nonexistent/bus: No such "
         "file or directory"},
#ifdef TAROVEX_WAYLAND
        {KeyBackend::Wayland, "", "/nonexistent/wayland-9",
         "Wayland: Cannot connect to the Wayland display \"/nonexistent/wayland-9\""},
#endif
    };
    for (const Row& r : rows) {
        SessionEnvironment env{r.display, r.wayland};
        env.uinputPath = "/nonexistent/uinput";
        env.sessionBus = "unix:path=/nonexistent/bus";
        KeyOutputOptions options;
        options.backend = r.backend;
        const KeyOutputCreation created = createKeyOutput(options, env);
        EXPECT_EQ(created.output ? created.output->description().toStdString() : created.error.toStdString(),
                  r.result)
            << r.display << " " << r.wayland;
        if (created.output) {
            EXPECT_TRUE(created.description.startsWith("Keystroke output: " + created.output->description() +
                                                       " (rule: "));
        }
    }
}

// The rules: which backends are tried, in which order, and the rule the log names.
TEST(KeyOutputFactoryTest, RulesChooseTheBackendsToTry) {
    using B = KeyBackend;
    const KeyBackendChoice x11{B::X11, "X11 session"},
        wayland{B::Wayland, "Wayland session, the compositor offers virtual keyboards"},
        uinputNoVk{B::Uinput, "Wayland session, the compositor offers no virtual keyboard"},
        uinputConsole{B::Uinput, "no desktop session"},
        uinputWritable{B::Uinput, "the other backend failed, /dev/uinput is writable"},
        uinputLast{B::Uinput, "the other backend failed"},
        gnome{B::Gnome, "GNOME Wayland session, Mutter offers remote desktop sessions"},
        kde{B::Kde, "KDE Wayland session"},
        portal{B::Portal, "GNOME or KDE Wayland session, the desktop portal offers remote desktop sessions"};
    struct Row {
        // forced, X11, Wayland, offers virtual keyboards, uinput writable, desktop, Mutter's service,
        // the portal
        SessionFacts facts;
        std::vector<KeyBackendChoice> choices;
    } rows[] = {
        {{B::Automatic, true, false, false, false}, {x11, uinputLast}},
        {{B::Automatic, true, false, false, true}, {x11, uinputWritable}},
        {{B::Automatic, false, true, true, false}, {wayland, uinputLast}},
        {{B::Automatic, false, true, true, true}, {wayland, uinputWritable}},
        {{B::Automatic, false, true, false, true}, {uinputNoVk}},
        {{B::Automatic, false, false, false, false}, {uinputConsole}},
        {{B::Automatic, false, true, false, true, "ubuntu:GNOME", true}, {gnome, uinputNoVk}},
        {{B::Automatic, false, true, false, true, "GNOME", false}, {uinputNoVk}},
        {{B::Automatic, false, true, false, true, "ubuntu:GNOME", true, true}, {gnome, portal, uinputNoVk}},
        {{B::Automatic, false, true, false, true, "GNOME", false, true}, {portal, uinputNoVk}},
        {{B::Automatic, false, true, false, false, "GNOME-Flashback", true, true}, {uinputNoVk}},
        {{B::Automatic, false, true, true, false, "sway", false, true}, {wayland, uinputLast}},
        {{B::Automatic, true, false, false, false, "GNOME", true, true}, {x11, uinputLast}},
        {{B::Automatic, false, true, false, true, "KDE", false}, {kde, uinputNoVk}},
        {{B::Automatic, false, true, true, true, "KDE", false, true}, {kde, portal, wayland, uinputWritable}},
        {{B::Gnome, true, false, false, true}, {{B::Gnome, "--keyboard-backend gnome"}}},
        {{B::Kde, false, true, true, true, "GNOME", true}, {{B::Kde, "--keyboard-backend kde"}}},
        {{B::Portal, false, true, false, true, "KDE"}, {{B::Portal, "--keyboard-backend portal"}}},
        {{B::X11, false, true, true, true}, {{B::X11, "--keyboard-backend x11"}}},
        {{B::Wayland, true, false, false, true}, {{B::Wayland, "--keyboard-backend wayland"}}},
        {{B::Uinput, false, true, true, false}, {{B::Uinput, "--keyboard-backend uinput"}}},
    };
    for (const Row& r : rows) {
        const auto choices = chooseKeyBackends(r.facts);
        ASSERT_EQ(choices.size(), r.choices.size()) << int(r.facts.forced) << r.facts.x11Session;
        for (std::size_t i = 0; i < choices.size(); ++i) {
            EXPECT_EQ(choices[i].backend, r.choices[i].backend);
            EXPECT_STREQ(choices[i].rule, r.choices[i].rule);
        }
    }
}

TEST(KeyOutputFactoryTest, CapsLockFromTheXServerOrTheKeyboardLeds) {
    tarovex_test::XvfbServer server;
    const std::filesystem::path leds = testing::TempDir() + "/leds";
    std::filesystem::remove_all(leds);
    std::filesystem::create_directories(leds / "input3::numlock");
    std::ofstream(leds / "input3::numlock" / "brightness") << "1\n";
    SessionEnvironment led{"", "wayland-0", "", leds.string()};
    EXPECT_EQ(capsLockState(led), CapsLockState::Unknown);
    for (const auto& [brightness, state] : {std::pair{"0", CapsLockState::Off}, {"1", CapsLockState::On}}) {
        std::filesystem::create_directories(leds / "input3::capslock");
        std::ofstream(leds / "input3::capslock" / "brightness") << brightness << "\n";
        EXPECT_EQ(capsLockState(led), state);
    }

    Display* d = XOpenDisplay(server.display().c_str());
    ASSERT_NE(d, nullptr);
    const SessionEnvironment x11{server.display(), "", "", "/nonexistent"};
    for (const auto& [lock, state] : {std::pair{true, CapsLockState::On}, {false, CapsLockState::Off}}) {
        XkbLockModifiers(d, XkbUseCoreKbd, LockMask, lock ? LockMask : 0);
        XSync(d, False);
        EXPECT_EQ(capsLockState(x11), state);
    }
    XCloseDisplay(d);
}

} // namespace
