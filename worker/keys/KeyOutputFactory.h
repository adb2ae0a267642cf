#pragma once

#include "config/ConfigHelper.h"
#include "worker/keys/KeyOutput.h"

#include <QString>

#include <memory>
#include <string>

namespace tarovex::worker::keys {

enum class KeyBackend { Automatic, X11, Uinput };

struct KeyOutputOptions {
    KeyBackend backend = KeyBackend::Automatic;
    config::ConfigHelper::KeyboardType keyboardType = config::ConfigHelper::KeyboardType::QUERTY;
    // An XKB layout ("de", "us(intl)") for uinput instead of the declared one.
    std::string xkbLayout;
};

// The parts of the environment the choice depends on.
struct SessionEnvironment {
    std::string display;        // $DISPLAY
    std::string waylandDisplay; // $WAYLAND_DISPLAY
    std::string keyboardFile = "/etc/default/keyboard";
    std::string ledsDirectory = "/sys/class/leds";
    std::string uinputPath = "/dev/uinput";

    static SessionEnvironment current();
    bool isX11Session() const { return !display.empty() && waylandDisplay.empty(); }
};

// The output, or why there is none (every backend tried, with its reason).
struct KeyOutputCreation {
    std::unique_ptr<KeyOutput> output;
    QString error;
    QString description; // one log line: the backend and the layout it types with
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
