#pragma once

#include <QLatin1StringView>

#include <cstdint>
#include <functional>
#include <vector>

namespace tarovex::worker::keys {

// Why a value handed to the keyboard was not typed whole; the words the record keeps.
namespace DropReason {
inline constexpr QLatin1StringView STOP{"stop"};                   // the run was stopped
inline constexpr QLatin1StringView AGE{"age"};                     // it waited too long
inline constexpr QLatin1StringView FOCUS_CHANGED{"focus changed"}; // the focus left its window
inline constexpr QLatin1StringView TYPING_FAILED{"typing failed"}; // a key could not be typed
inline constexpr QLatin1StringView QUEUE_FULL{"queue full"};       // values came faster than typing
inline constexpr QLatin1StringView KEYS_HELD{"keys held"};         // the user held a key too long
} // namespace DropReason

// What became of one value: typed, once its last key was sent; else dropped with a reason.
struct TypingFate {
    std::uint64_t id = 0;
    QLatin1StringView dropped; // empty: typed
    bool typed() const { return dropped.isEmpty(); }
};

// Hears the fates of values, on the typing thread (several at once when many expired).
using FateHandler = std::function<void(std::vector<TypingFate>)>;

} // namespace tarovex::worker::keys
