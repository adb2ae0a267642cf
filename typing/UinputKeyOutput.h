#pragma once

#include "Tarolink/PosixSyscalls.h"
#include "typing/KeyResolver.h"
#include "typing/LayoutBoundOutput.h"
#include "typing/StrokeTyping.h"
#include "typing/XkbLayout.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tarovex::typing {

// Types through a virtual keyboard of the kernel (uinput), for Wayland desktops and text
// consoles, where no service lets a program type into another. The key codes come from an
// XKB keymap of the layout the desktop is believed to use (evdev code = XKB keycode - 8),
// since the compositor translates them with its own keymap.
class UinputKeyOutput : public LayoutBoundOutput {
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

    void type(const TypedKey& key) override;
    std::optional<std::string> cannotType(char32_t c) override;
    QString description() const override;
    void setLayout(const XkbRuleNames& names) override;
    // Held modifiers stay unknown: the other keyboards' keys are read only through their
    // evdev devices (/dev/input/event*), which the typing user normally may not open.

    // How long the device took to become usable after its creation.
    std::chrono::milliseconds readyAfter() const noexcept { return readyAfter_; }

    // The message for a device that cannot be opened, by errno.
    static std::string accessMessage(const std::string& devicePath, int error);

private:
    class Sender;
    // Why the resolution cannot be typed on our device, nothing when it can.
    std::optional<std::string> whyNot(const KeyResolution& r) const;
    void createDevice();
    void waitUntilUsable();
    void writeKey(Keycode keycode, bool down);

    Options options_;
    Tarolink::PosixSyscalls& sys_;
    XkbLayout layout_;
    std::vector<ModifierKey> modifiers_;
    int fd_ = -1;
    std::chrono::milliseconds readyAfter_{0};
    std::chrono::steady_clock::time_point lastEvent_{};
    // The LEDs show Caps Lock only once the desktop has read our toggles, so the state is
    // sampled again only after they have settled.
    std::chrono::steady_clock::time_point lastToggle_{};
    bool capsLock_ = false;
};

} // namespace tarovex::typing
