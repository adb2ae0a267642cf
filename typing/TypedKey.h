#pragma once

#include <cstdint>
#include <variant>

namespace tarovex::typing {

// The keys that have no character: every key a start key or an output terminator can be.
enum class NamedKey {
    Enter,
    Tab,
    Escape,
    Backspace,
    Delete,
    Insert,
    Left,
    Right,
    Up,
    Down,
    Home,
    End,
    PageUp,
    PageDown,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

// "Enter", "PageUp", "F12": for logs and transcripts.
inline const char* namedKeyName(NamedKey key) noexcept {
    static constexpr const char* names[] = {
        "Enter", "Tab",  "Escape", "Backspace", "Delete",   "Insert", "Left", "Right", "Up",
        "Down",  "Home", "End",    "PageUp",    "PageDown", "F1",     "F2",   "F3",    "F4",
        "F5",    "F6",   "F7",     "F8",        "F9",       "F10",    "F11",  "F12",
    };
    return names[int(key)];
}

// A key named by its X keysym (KP_Enter), for keys that are neither a character nor a NamedKey.
struct KeysymKey {
    std::uint32_t keysym = 0;
    friend bool operator==(const KeysymKey&, const KeysymKey&) = default;
};

// A key pressed with modifiers for what it does, not for a character: the paste keys. `keysym`
// names the key (v, Insert).
struct Shortcut {
    bool control = false;
    bool shift = false;
    std::uint32_t keysym = 0;
    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// What one completed key sequence types: a character (a Unicode code point) or a named key.
struct TypedKey {
    std::variant<char32_t, NamedKey, KeysymKey> value;

    bool isCharacter() const noexcept { return std::holds_alternative<char32_t>(value); }
    bool isKeysym() const noexcept { return std::holds_alternative<KeysymKey>(value); }
    char32_t character() const { return std::get<char32_t>(value); }
    NamedKey namedKey() const { return std::get<NamedKey>(value); }
    friend bool operator==(const TypedKey&, const TypedKey&) = default;
};

} // namespace tarovex::typing
