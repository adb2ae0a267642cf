#pragma once

#include "typing/KeyResolver.h"
#include "typing/LayoutBoundOutput.h"
#include "typing/StrokeTyping.h"
#include "typing/XkbLayout.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tarovex::typing {

// Types evdev key codes that the desktop translates with its own keymap (uinput, KWin's fake
// input). The codes come from an XKB keymap of the layout the desktop is believed to use
// (evdev code = XKB keycode - 8); a character that layout has no key for is refused.
class EvdevKeyOutput : public LayoutBoundOutput {
public:
    static constexpr Keycode evdevOffset = 8;

    void type(const TypedKey& key) override;
    void pressShortcut(const Shortcut& shortcut) override;
    std::optional<std::string> cannotType(char32_t c) override;
    void setLayout(const XkbRuleNames& names) override;

protected:
    // `capsLockOn` tells whether Caps Lock is on when a key is typed; unknown counts as off.
    EvdevKeyOutput(const XkbRuleNames& layout, std::function<bool()> capsLockOn);

    // Sends one key, by its XKB keycode.
    virtual void writeKey(Keycode keycode, bool down) = 0;
    // After the last event of a key: where the events wait in a buffer, they go now.
    virtual void keyDone() {}

    const XkbLayout& layout() const noexcept { return layout_; }
    // "de(nodeadkeys)"
    std::string layoutName() const;

private:
    class Sender;
    // Why the resolution cannot be typed with our keys, nothing when it can.
    std::optional<std::string> whyNot(const KeyResolution& r) const;

    XkbRuleNames names_;
    XkbLayout layout_;
    std::vector<ModifierKey> modifiers_;
    std::function<bool()> capsLockOn_;
    // The LEDs show Caps Lock only once the desktop has read our toggles, so the state is
    // sampled again only after they have settled.
    std::chrono::steady_clock::time_point lastToggle_{};
    bool capsLock_ = false;
};

} // namespace tarovex::typing
