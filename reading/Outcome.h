#pragma once

#include <QLatin1StringView>

namespace tarovex::reading {

// What became of a received line's value in the run.
enum class ReadingOutcome {
    Value,    // handed to the output (its fate follows), played
    Repeat,   // suppressed by the repeat filter
    NoValue,  // the line has no value
    Unstable, // the instrument marked it unstable and only stable values are wanted
};

// How a value handed to the output ended.
enum class Delivery {
    Typed,   // its last key was sent
    Printed, // a run that does not type wrote it
    Dropped, // it was not typed whole; the reason says why
};

// Why a value handed to the keyboard was not typed whole; the words the record keeps.
namespace DropReason {
inline constexpr QLatin1StringView STOP{"stop"};                   // the run was stopped
inline constexpr QLatin1StringView AGE{"age"};                     // it waited too long
inline constexpr QLatin1StringView FOCUS_CHANGED{"focus changed"}; // the focus left its window
inline constexpr QLatin1StringView TYPING_FAILED{"typing failed"}; // a key could not be typed
inline constexpr QLatin1StringView QUEUE_FULL{"queue full"};       // values came faster than typing
inline constexpr QLatin1StringView KEYS_HELD{"keys held"};         // the user held a key too long
inline constexpr QLatin1StringView LOCKED{"locked"};               // the session was locked
// With rounds: a value that came when its instrument was not asked in a round, and the values
// of a round that ended before every instrument answered.
inline constexpr QLatin1StringView NOT_IN_ROUND{"not asked for in a round"};
inline constexpr QLatin1StringView ROUND_INCOMPLETE{"round incomplete"};
} // namespace DropReason

} // namespace tarovex::reading
