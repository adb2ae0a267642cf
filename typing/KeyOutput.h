#pragma once

#include "typing/KeyTarget.h"
#include "typing/TypedKey.h"

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

namespace tarovex::typing {

// Produces one character or named key in the focused application, on the keyboard layout
// the desktop actually uses. One implementation per platform service (X11, uinput).
// Called on the keystroke thread only.
class KeyOutput {
public:
    virtual ~KeyOutput() = default;

    // Types the key: press and release of whatever keys and modifiers it takes, every key
    // it pressed released again before it returns, also when it fails. A character that no
    // key can produce throws CannotTypeError; a key held back because the focus moved after
    // target() was asked throws FocusMovedError; a failure of the platform std::runtime_error.
    virtual void type(const TypedKey& key) = 0;
    // Presses the shortcut's modifiers and its key, then releases them all, also when it fails;
    // errors as type(). Only where pasting can happen (X11).
    virtual void pressShortcut(const Shortcut&) {
        throw std::runtime_error("This keyboard output presses no shortcuts");
    }
    // Why the character cannot be typed on the layout in use, asked before a value begins so
    // that a value with such a character is refused whole; nothing when it can, or when this
    // output only finds out by typing.
    virtual std::optional<std::string> cannotType(char32_t) { return std::nullopt; }
    // One line for the log: the backend and the layout it types on ("X11 (XTest), layout de").
    virtual QString description() const = 0;
    // Whether any key (a modifier, a shortcut's or the request key) is held down on any
    // keyboard of the desktop; nothing when this output cannot know.
    virtual std::optional<bool> keysHeld() { return std::nullopt; }
    // Where keys would go now; nothing when this output cannot know.
    virtual std::optional<KeyTarget> target() { return std::nullopt; }
};

// A character the output cannot produce on its layout.
class CannotTypeError : public std::runtime_error {
public:
    explicit CannotTypeError(char32_t c, const std::string& why) : std::runtime_error(why), character(c) {}
    char32_t character;
};

// The focus left the value's window between the check before a key and the key itself;
// nothing of that key was sent.
class FocusMovedError : public std::runtime_error {
public:
    FocusMovedError() : std::runtime_error("The keyboard focus moved to another window") {}
};

} // namespace tarovex::typing
