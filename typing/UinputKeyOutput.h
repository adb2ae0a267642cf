#pragma once

#include "Tarolink/PosixSyscalls.h"
#include "typing/EvdevKeyOutput.h"

#include <chrono>
#include <functional>
#include <string>

namespace tarovex::typing {

// Types through a virtual keyboard of the kernel (uinput), for Wayland desktops and text
// consoles, where no service lets a program type into another. The key codes come from an
// XKB keymap of the layout the desktop is believed to use, since the compositor translates
// them with its own keymap.
class UinputKeyOutput : public EvdevKeyOutput {
public:
    struct Options {
        XkbRuleNames layout;
        std::string devicePath = "/dev/uinput";
        // Whether Caps Lock is on when a key is typed; unknown counts as off.
        std::function<bool()> capsLockOn;
        // Wait after creation until the desktop has taken the device up.
        bool waitUntilUsable = true;
    };

    // Compiles the layout and creates the device "Tarovex virtual keyboard". Throws
    // std::runtime_error with what to do when the device cannot be created.
    explicit UinputKeyOutput(Options options, Tarolink::PosixSyscalls& sys = Tarolink::PosixSyscalls::real());
    ~UinputKeyOutput() override;

    QString description() const override;
    // Held modifiers stay unknown: the other keyboards' keys are read only through their
    // evdev devices (/dev/input/event*), which the typing user normally may not open.

    // How long the device took to become usable after its creation.
    std::chrono::milliseconds readyAfter() const noexcept { return readyAfter_; }

    // The message for a device that cannot be opened, by errno.
    static std::string accessMessage(const std::string& devicePath, int error);

private:
    void createDevice();
    void waitUntilUsable();
    void writeKey(Keycode keycode, bool down) override;

    Options options_;
    Tarolink::PosixSyscalls& sys_;
    int fd_ = -1;
    std::chrono::milliseconds readyAfter_{0};
    std::chrono::steady_clock::time_point lastEvent_{};
};

} // namespace tarovex::typing
