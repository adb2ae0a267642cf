#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct xkb_keymap;

namespace tarovex::typing {

using Keysym = std::uint32_t;  // an XKB keysym (xkb_keysym_t); 0 is NoSymbol
using Keycode = std::uint32_t; // an XKB keycode: the evdev code + 8, as on X servers
using ModMask = std::uint32_t; // real modifiers, bit i = modifier index i of the keymap

// One shift level of a key in one group.
struct XkbLevel {
    std::vector<Keysym> keysyms;
    // Every modifier combination the key's type maps to this level (the empty one included
    // for the first level when nothing else claims it).
    std::vector<ModMask> masks;
};

struct XkbKey {
    Keycode keycode = 0;
    std::string name;                          // "AE01", "LSGT", ...
    std::vector<std::vector<XkbLevel>> groups; // [group][level]

    // Union of all masks of the group: the modifiers the key's type looks at.
    ModMask relevantMods(std::size_t group) const;
};

// The names an XKB keymap is compiled from.
struct XkbRuleNames {
    XkbRuleNames(std::string layout = "us", std::string variant = "")
        : layout(std::move(layout)), variant(std::move(variant)) {}

    std::string layout;
    std::string variant;
    std::string options;
    std::string model = "pc105";
    std::string rules = "evdev";
};

// A snapshot of an XKB keymap: which keysyms every keycode gives in every group and shift
// level, and with which modifiers. Built once; lookups are pure and need no libxkbcommon
// objects, so tests can check them against hand-made layouts and an X server's keymap
// yields the same kind of value as a compiled one.
class XkbLayout {
public:
    // Takes the snapshot; the keymap is not kept.
    explicit XkbLayout(xkb_keymap* keymap);
    // Built from parts, for tests of the lookups.
    XkbLayout(std::vector<XkbKey> keys, std::vector<std::string> groupNames, ModMask shift,
              ModMask levelThree);

    // Compiles the keymap of those names from the system's XKB data (environment defaults
    // are not consulted). Throws std::runtime_error naming the layout when it does not exist.
    static XkbLayout fromNames(const XkbRuleNames& names);

    const std::vector<XkbKey>& keys() const noexcept { return keys_; }
    const XkbKey* key(Keycode keycode) const noexcept;
    std::size_t groupCount() const noexcept { return groupNames_.size(); }
    const std::vector<std::string>& groupNames() const noexcept { return groupNames_; }

    ModMask shiftMask() const noexcept { return shift_; }
    // The real modifier that selects the third level (AltGr), 0 when the layout has none.
    ModMask levelThreeMask() const noexcept { return levelThree_; }

    // The first keysym the key gives in that group with those modifiers held; a group beyond
    // the key's own wraps around, as XKB does. 0 when the key gives nothing.
    Keysym keysym(Keycode keycode, std::size_t group, ModMask mods) const noexcept;
    // A keycode without any keysym that a backend may remap for one stroke; none if every
    // keycode is taken.
    std::optional<Keycode> spareKeycode() const noexcept;

private:
    std::vector<XkbKey> keys_; // by keycode, ascending
    std::vector<std::string> groupNames_;
    ModMask shift_ = 0;
    ModMask levelThree_ = 0;
    Keycode minKeycode_ = 8;
    Keycode maxKeycode_ = 255;
};

// The character a keysym types, 0 for none (modifiers, function keys, dead keys).
char32_t keysymToUtf32(Keysym keysym) noexcept;
// The keysym of a character, 0 for none.
Keysym utf32ToKeysym(char32_t c) noexcept;
bool isDeadKeysym(Keysym keysym) noexcept;
// The keysym of that name ("dead_acute", "semicolon"), 0 when unknown.
Keysym keysymFromName(const char* name) noexcept;

} // namespace tarovex::typing
