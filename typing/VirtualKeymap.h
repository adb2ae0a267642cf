#pragma once

#include "typing/XkbLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarovex::typing {

// The keymap a virtual keyboard of ours brings along: every key gives exactly one keysym on
// a single level, so no modifier is ever pressed and the user's layout, Caps Lock included,
// changes nothing. The named keys (Return, Tab, arrows, F1..F12) sit on their usual keys, for
// applications that look at the key rather than the keysym; characters take the other
// keycodes up to 255 (the most an X client under the compositor can see), and a character
// without a key takes the least recently used one's.
class VirtualKeymap {
public:
    // Gives the characters their keys from the start, the earlier ones kept longest.
    explicit VirtualKeymap(const std::u32string& preload = {});

    // The XKB keycode (evdev code + 8) that gives the keysym, taking one for it if none does.
    Keycode keycodeFor(Keysym keysym);
    // True when keycodeFor changed a key since the last text().
    bool changed() const noexcept { return changed_; }
    // The keymap in XKB's text format, complete in itself (no include files); clears changed().
    std::string text();
    // How many keysyms a keymap holds at once.
    static std::size_t capacity() noexcept;

private:
    struct Slot {
        Keycode keycode = 0;
        Keysym keysym = 0;
        std::uint64_t lastUse = 0;
        bool fixed = false;
    };
    std::vector<Slot> slots_;
    std::uint64_t clock_ = 0;
    bool changed_ = true;
};

} // namespace tarovex::typing
