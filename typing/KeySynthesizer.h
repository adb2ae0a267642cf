#pragma once

#include "typing/KeyTarget.h"
#include "typing/TypedKey.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tarovex::typing {

// The platform's key synthesis, by the program's own virtual key codes (config/KeyCodes.h).
// Called on the keystroke thread only.
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;

    // The key goes down. A code the backend does not know throws std::invalid_argument;
    // a failure of the platform throws std::runtime_error. Both carry a readable message.
    virtual void press(int code) = 0;
    // The key goes up; same errors as press.
    virtual void release(int code) = 0;
    // Presses and releases the key of an X keysym (KP_Enter); same errors as press.
    virtual void typeKeysym(std::uint32_t keysym) {
        (void)keysym;
        throw std::invalid_argument("This keyboard output presses no keys by their X name");
    }
    // Presses the shortcut's modifiers and key, and releases them all; same errors as press.
    virtual void pressShortcut(const Shortcut&) {
        throw std::invalid_argument("This keyboard output presses no shortcuts");
    }
    // Pauses for that many milliseconds.
    virtual void delay(int ms) = 0;
    // Why the character cannot be typed, known before typing; nothing when it can or when
    // only typing tells.
    virtual std::optional<std::string> cannotType(char32_t) { return std::nullopt; }
    // Whether the user holds any key now; nothing when it cannot be known.
    virtual std::optional<bool> keysHeld() { return std::nullopt; }
    // Where keys would go now; nothing when it cannot be known.
    virtual std::optional<KeyTarget> target() { return std::nullopt; }
};

} // namespace tarovex::typing
