#pragma once

#include "config/ConfigHelper.h"
#include "worker/keys/KeyOutput.h"
#include "worker/keys/desktop/DesktopLayout.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace tarovex::worker::keys {

enum class KeyBackend { Automatic, X11, Uinput };

struct KeyOutputOptions {
    KeyBackend backend = KeyBackend::Automatic;
    config::ConfigHelper::KeyboardType keyboardType = config::ConfigHelper::KeyboardType::QUERTY;
    // The characters the run types (the preset's coverage), checked against uinput's layout.
    config::ConfigHelper::KeyMapType coverage = config::ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE;
    // An XKB layout ("de", "us(intl)") for uinput instead of the desktop's.
    std::string xkbLayout;
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

    static SessionEnvironment current();
    bool isX11Session() const { return !display.empty() && waylandDisplay.empty(); }
};

// The output, or why there is none (every backend tried, with its reason).
struct KeyOutputCreation {
    std::unique_ptr<KeyOutput> output;
    QString error;
    QString description;  // one log line: the backend and the layout it types with
    QStringList warnings; // for the log at Start: characters the layout cannot type
};

// X11 in an X11 session when its server has XTest, uinput otherwise; `options.backend`
// forces one of them.
KeyOutputCreation createKeyOutput(const KeyOutputOptions& options,
                                  const SessionEnvironment& environment = SessionEnvironment::current());

enum class CapsLockState { On, Off, Unknown };

// In an X11 session the server's Caps Lock indicator; otherwise the keyboard LEDs
// (<leds>/*::capslock/brightness, on when any is lit). Unknown when neither can be read.
CapsLockState capsLockState(const SessionEnvironment& environment = SessionEnvironment::current());

} // namespace tarovex::worker::keys
