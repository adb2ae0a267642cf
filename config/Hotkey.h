#pragma once

#include <QString>

#include <optional>

namespace tarovex::config {

// A key combination typed as text: modifiers and one key joined by "+", for example
// "Ctrl+Alt+R" or "Shift+F9". Modifiers: Ctrl (Control), Alt, Shift, Super (Meta, Win), in any
// case and order, each once. Keys: a letter or digit, F1 to F24, or Space, Tab, Enter, Escape,
// Insert, Delete, Home, End, PageUp, PageDown, Up, Down, Left, Right, Pause, Print,
// ScrollLock. A letter, digit or other typing key needs Ctrl, Alt or Super: alone or with
// Shift it would be taken from every application.
struct Hotkey {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool super = false;
    // The key as the X keysym name ("r", "F9", "Prior").
    QString keysymName;

    // The combination written back in the settings' notation ("Ctrl+Alt+R").
    QString text() const;
    friend bool operator==(const Hotkey&, const Hotkey&) = default;
};

// The combination; nothing when the text is not one (the empty text included).
std::optional<Hotkey> parseHotkey(const QString& text);

} // namespace tarovex::config
