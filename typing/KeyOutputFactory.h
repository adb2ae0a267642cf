#pragma once

#include "config/ConfigHelper.h"
#include "typing/Clipboard.h"
#include "typing/KeyOutput.h"
#include "typing/desktop/DesktopLayout.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace tarovex::typing {

// Gnome: Mutter's remote desktop; Kde: KWin's fake input; Portal: the desktop portal's
// remote desktop.
enum class KeyBackend { Automatic, X11, Wayland, Uinput, Gnome, Kde, Portal };

struct KeyOutputOptions {
    KeyBackend backend = KeyBackend::Automatic;
    config::ConfigHelper::KeyboardType keyboardType = config::ConfigHelper::KeyboardType::QUERTY;
    // The characters the run types (the preset's coverage), checked against uinput's layout.
    config::ConfigHelper::KeyMapType coverage = config::ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE;
    // An XKB layout ("de", "us(intl)") for uinput instead of the desktop's.
    std::string xkbLayout{};
    // Typing into a remote desktop viewer or a virtual machine's window (X11 only): keys paced
    // by `keyDelay` and at least X11KeyOutput::remoteKeyGap, no remapped keycodes.
    bool remoteSession = false;
    int keyDelay = 0; // ms, the delay setting
    // The window's clipboard, for pasting; the console has none.
    std::shared_ptr<Clipboard> clipboard{};
};

// The parts of the environment the choice depends on.
struct SessionEnvironment {
    std::string display;        // $DISPLAY
    std::string waylandDisplay; // $WAYLAND_DISPLAY
    std::string keyboardFile = "/etc/default/keyboard";
    std::string ledsDirectory = "/sys/class/leds";
    std::string uinputPath = "/dev/uinput";
    // Where uinput's layout is read from (its keyboardFile is the one above).
    DesktopSources desktop;
    std::string sessionBus{}; // $DBUS_SESSION_BUS_ADDRESS

    static SessionEnvironment current();
    bool isX11Session() const { return !display.empty() && waylandDisplay.empty(); }
    bool isWaylandSession() const { return !waylandDisplay.empty(); }
};

// The output, or why there is none (every backend tried, with its reason).
struct KeyOutputCreation {
    std::unique_ptr<KeyOutput> output;
    QString error;
    QString description;  // one log line: the backend and the layout it types with
    QStringList warnings; // for the log at Start: characters the layout cannot type
};

// What the choice of a backend looks at.
struct SessionFacts {
    KeyBackend forced = KeyBackend::Automatic;
    bool x11Session = false;
    bool waylandSession = false;
    bool compositorOffersVirtualKeyboard = false; // zwp_virtual_keyboard_v1
    bool uinputWritable = false;
    std::string desktop{};            // $XDG_CURRENT_DESKTOP: "GNOME", "ubuntu:GNOME", "KDE"
    bool mutterRemoteDesktop = false; // org.gnome.Mutter.RemoteDesktop is on the session bus
    bool portalRemoteDesktop = false; // the desktop portal is on the session bus or can start there
    friend bool operator==(const SessionFacts&, const SessionFacts&) = default;
};

// A backend to try, and the rule that named it (for the log).
struct KeyBackendChoice {
    KeyBackend backend;
    const char* rule;
    friend bool operator==(const KeyBackendChoice&, const KeyBackendChoice&) = default;
};

// The backends to try in turn, each by the first rule that names it: the forced one alone,
// else X11 in an X11 session; on Wayland, GNOME's remote desktop on GNOME, KDE's fake input on
// KDE, each followed by the desktop portal's remote desktop, the virtual keyboard where the
// compositor offers it; and uinput last.
std::vector<KeyBackendChoice> chooseKeyBackends(const SessionFacts& facts);

// A backend the choice passes over (or tries only after another fails), and why.
struct PassedOverBackend {
    KeyBackend backend;
    std::string why; // "this is not a GNOME session (XDG_CURRENT_DESKTOP=sway)"
    friend bool operator==(const PassedOverBackend&, const PassedOverBackend&) = default;
};

// Every route other than the first of chooseKeyBackends, in the order the rules know them.
std::vector<PassedOverBackend> passedOverBackends(const SessionFacts& facts);

// How the log and the check of this computer name the route: "GNOME's remote desktop (Mutter)".
const char* keyBackendTitle(KeyBackend backend);

// The facts of this environment; the compositor and the session bus are asked only in a
// Wayland session when no backend is forced.
SessionFacts sessionFacts(KeyBackend forced, const SessionEnvironment& environment);

// The first of chooseKeyBackends that can be made; the log line names it and its rule.
KeyOutputCreation createKeyOutput(const KeyOutputOptions& options,
                                  const SessionEnvironment& environment = SessionEnvironment::current());

enum class CapsLockState { On, Off, Unknown };

// In an X11 session the server's Caps Lock indicator; otherwise the keyboard LEDs
// (<leds>/*::capslock/brightness, on when any is lit). Unknown when neither can be read.
CapsLockState capsLockState(const SessionEnvironment& environment = SessionEnvironment::current());

} // namespace tarovex::typing
