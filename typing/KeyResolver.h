#pragma once

#include "typing/TypedKey.h"
#include "typing/XkbLayout.h"

#include <vector>

namespace tarovex::typing {

// One key stroke: that keycode pressed in that group while exactly those modifiers are held.
struct KeyStroke {
    Keycode keycode = 0;
    std::size_t group = 0;
    ModMask mods = 0;
    Keysym keysym = 0; // what the stroke gives
    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// How a character or named key is produced on a layout.
struct KeyResolution {
    enum class Kind {
        Direct,           // strokes[0] gives it
        DeadKeyThenSpace, // strokes[0] is a dead key, strokes[1] the Space that makes its bare mark
        SpareKeycode,     // no key gives it: strokes[0] is a free keycode to remap to `keysym`
        Unavailable,      // the layout cannot produce it
    };
    Kind kind = Kind::Unavailable;
    std::vector<KeyStroke> strokes;
    Keysym keysym = 0; // the keysym wanted
};

// The keysym of a named key (Return for Enter, F1, ...).
Keysym namedKeysym(NamedKey key) noexcept;
// The keysym of a key that is not a character: a named key's, or the one it names.
Keysym keyKeysym(const TypedKey& key) noexcept;

// Resolves in this order: a key of the active group, a key of another group, a dead key with
// Space, the spare keycode. Within a group the stroke with the fewest modifiers wins, a main
// block key before a keypad key, then the lowest keycode.
KeyResolution resolveKeysym(const XkbLayout& layout, Keysym keysym, std::size_t activeGroup);
KeyResolution resolveCharacter(const XkbLayout& layout, char32_t c, std::size_t activeGroup);
KeyResolution resolveKey(const XkbLayout& layout, const TypedKey& key, std::size_t activeGroup);

} // namespace tarovex::typing
