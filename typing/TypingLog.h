#pragma once

#include "reading/EventLog.h"

#include <QString>

namespace tarovex::typing {

// The messages typing has for the user; their words are the application's.
enum class TypingText {
    CannotType,    // followed directly by the character
    QueueFull,     // printf: the queue's capacity, the values dropped since it filled
    KeysWaited,    // printf: the milliseconds the value waited
    KeysStillHeld, // printf: the milliseconds waited, the value
    ValueDropped,  // printf: the value, why
    ValueCut,      // printf: the value, the characters typed of it, why
    WhyStop,       // why, in the words of the two above
    WhyFocusChanged,
    WhyTypingFailed,
    PastedUntypeable, // followed directly by a character the layout cannot type
    PasteFailed,      // followed directly by why the clipboard did not take the value
    PasteUnavailable, // followed directly by why values are typed, not pasted (at Start)
    NoClipboard,      // why: the console has no clipboard
};

// Where typing tells what happened: the run's log, which the application provides. Called
// on the typing thread, and on the thread that queues values (a full queue). Important are
// a value not typed and a key that failed.
class TypingLog : public reading::EventLog {
public:
    // The words of `message`.
    virtual QString text(TypingText message) const = 0;
};

} // namespace tarovex::typing
