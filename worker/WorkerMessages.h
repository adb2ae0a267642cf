#pragma once

#include <QLatin1StringView>

namespace tarovex::worker {

// The keys of the worker bundle (workerBundle()), with the number of arguments each text
// takes: printf-style (%s) or indexed ({0}). A text without arguments may be followed
// directly by more text, as the comments in the bundle say.
namespace WorkerMessages {

// Acquisition.
inline constexpr QLatin1StringView PORT_OPENED{"port.opened"}; // 5 printf arguments
inline constexpr QLatin1StringView SCALE_OPENED{"scale.opened"}; // 2 printf arguments
inline constexpr QLatin1StringView PARITY_ERROR{"parity.error"};
inline constexpr QLatin1StringView FRAMING_ERROR{"framing.error"};
inline constexpr QLatin1StringView UNSENT_DATA{"unsent.data"};
inline constexpr QLatin1StringView STOPPED{"stopped"};
inline constexpr QLatin1StringView INTERRUPTED{"interrupted"};
inline constexpr QLatin1StringView EXECUTION_EXCEPTION{"execution.exception"};
inline constexpr QLatin1StringView DEVICE_DISCONNECTED{"device.disconnected"}; // 1 printf argument
inline constexpr QLatin1StringView DEVICE_WAITING{"device.waiting"};           // 1 printf argument
inline constexpr QLatin1StringView DEVICE_RECONNECTED{"device.reconnected"};   // 1 printf argument
inline constexpr QLatin1StringView LINE_TOO_LONG{"line.too.long"};             // 2 printf arguments
inline constexpr QLatin1StringView STILL_NO_TERMINATOR{"still.no.terminator"}; // 1 printf argument
inline constexpr QLatin1StringView DROPPED_BYTES{"dropped.bytes"};             // 1 printf argument
inline constexpr QLatin1StringView NULL_PORT_ERROR{"null.port.error"};
inline constexpr QLatin1StringView ERROR_OPENING_PORT{"error.opening.port"};
inline constexpr QLatin1StringView LINE_COUNT{"line.count"};
inline constexpr QLatin1StringView PORT_DOES_NOT_EXIST_0{"port.does.not.exist.0"}; // {0}: port name
inline constexpr QLatin1StringView PORT_NEEDS_GROUP_0_1{
    "port.needs.group.0.1"}; // {0}: port, {1}: group (twice)
// A network address that could not be opened: {0} host:port or host, {1} seconds.
inline constexpr QLatin1StringView NETWORK_NO_ANSWER_0_1{"network.no.answer.0.1"};
inline constexpr QLatin1StringView NETWORK_REFUSED_0{"network.refused.0"};
inline constexpr QLatin1StringView NETWORK_UNKNOWN_HOST_0{"network.unknown.host.0"};
inline constexpr QLatin1StringView NETWORK_LOOKUP_TIMEOUT_0_1{"network.lookup.timeout.0.1"};
inline constexpr QLatin1StringView NETWORK_NOT_RFC2217_0{"network.not.rfc2217.0"};
inline constexpr QLatin1StringView NETWORK_NO_ANSWER_HINT{"network.no.answer.hint"};
inline constexpr QLatin1StringView NETWORK_REFUSED_HINT{"network.refused.hint"};
inline constexpr QLatin1StringView NETWORK_NAME_HINT{"network.name.hint"};
inline constexpr QLatin1StringView NETWORK_NOT_RFC2217_HINT{"network.not.rfc2217.hint"};

// Keystroke output.
inline constexpr QLatin1StringView CANNOT_TYPE{"cannot_type"};
inline constexpr QLatin1StringView KEYBOARD_OUTPUT_STARTED_TYPE{"keyboard.output.started.type"};
inline constexpr QLatin1StringView ERROR_INITIALIZING_KEYBOARD_OUTPUT{"error.initializing.keyboard.output"};
inline constexpr QLatin1StringView PLEASE_TURN_OFF_CAPS_LOCK{"please.turn.off.caps.lock"};
inline constexpr QLatin1StringView WARNING{"warning"};
inline constexpr QLatin1StringView KEYSTROKE_QUEUE_FULL{"keystroke.queue.full"}; // 2 printf arguments
inline constexpr QLatin1StringView KEYS_WAITED{"keys.waited"};         // 1 printf argument
inline constexpr QLatin1StringView KEYS_STILL_HELD{"keys.still.held"}; // 2 printf arguments
inline constexpr QLatin1StringView VALUE_DROPPED{"value.dropped"};     // 2 printf arguments
inline constexpr QLatin1StringView VALUE_CUT{"value.cut"};             // 3 printf arguments
// Why a value was not typed, in the words of the two lines above.
inline constexpr QLatin1StringView WHY_STOP{"why.stop"};
inline constexpr QLatin1StringView WHY_FOCUS_CHANGED{"why.focus.changed"};
inline constexpr QLatin1StringView WHY_TYPING_FAILED{"why.typing.failed"};
// Pasting through the clipboard.
inline constexpr QLatin1StringView PASTED_UNTYPEABLE{"pasted.untypeable"};
inline constexpr QLatin1StringView PASTE_FAILED{"paste.failed"};
inline constexpr QLatin1StringView PASTE_UNAVAILABLE{"paste.unavailable"};
inline constexpr QLatin1StringView PASTE_NO_CLIPBOARD{"paste.no.clipboard"};

// Balances with handshaking.
inline constexpr QLatin1StringView AND_ERROR_UNUSUAL{"and.error.unusual"};
inline constexpr QLatin1StringView AND_ERROR_DATASET_NOT_READY{"and.error.dataset.not.ready"};
inline constexpr QLatin1StringView AND_ERROR_NOT_CONNECTED{"and.error.not.connected"};

// Port detection.
inline constexpr QLatin1StringView AUTO_PORT_DETECTION_STARTED{"auto.port.detection.started"};
inline constexpr QLatin1StringView TESTING_PORT_0{"testing.port.0"}; // {0}: port name
inline constexpr QLatin1StringView CONFIDENCE{"confidence"};
inline constexpr QLatin1StringView BEST_PORT{"best.port"};
inline constexpr QLatin1StringView COULD_NOT_AUTO_DETECT_PORT{"could.not.auto.detect.port"};

struct Key {
    QLatin1StringView key;
    int printfArguments;
    int indexedArguments;
};

// Every key, for the completeness check at start-up.
inline constexpr Key ALL[] = {
    {PORT_OPENED, 5, 0},
    {SCALE_OPENED, 2, 0},
    {PARITY_ERROR, 0, 0},
    {FRAMING_ERROR, 0, 0},
    {UNSENT_DATA, 0, 0},
    {STOPPED, 0, 0},
    {INTERRUPTED, 0, 0},
    {EXECUTION_EXCEPTION, 0, 0},
    {DEVICE_DISCONNECTED, 1, 0},
    {DEVICE_WAITING, 1, 0},
    {DEVICE_RECONNECTED, 1, 0},
    {LINE_TOO_LONG, 2, 0},
    {STILL_NO_TERMINATOR, 1, 0},
    {DROPPED_BYTES, 1, 0},
    {NULL_PORT_ERROR, 0, 0},
    {ERROR_OPENING_PORT, 0, 0},
    {LINE_COUNT, 0, 0},
    {PORT_DOES_NOT_EXIST_0, 0, 1},
    {PORT_NEEDS_GROUP_0_1, 0, 3}, // {1} twice
    {NETWORK_NO_ANSWER_0_1, 0, 2},
    {NETWORK_REFUSED_0, 0, 1},
    {NETWORK_UNKNOWN_HOST_0, 0, 1},
    {NETWORK_LOOKUP_TIMEOUT_0_1, 0, 2},
    {NETWORK_NOT_RFC2217_0, 0, 1},
    {NETWORK_NO_ANSWER_HINT, 0, 0},
    {NETWORK_REFUSED_HINT, 0, 0},
    {NETWORK_NAME_HINT, 0, 0},
    {NETWORK_NOT_RFC2217_HINT, 0, 0},
    {CANNOT_TYPE, 0, 0},
    {KEYBOARD_OUTPUT_STARTED_TYPE, 0, 0},
    {ERROR_INITIALIZING_KEYBOARD_OUTPUT, 0, 0},
    {PLEASE_TURN_OFF_CAPS_LOCK, 0, 0},
    {WARNING, 0, 0},
    {KEYSTROKE_QUEUE_FULL, 2, 0},
    {KEYS_WAITED, 1, 0},
    {KEYS_STILL_HELD, 2, 0},
    {VALUE_DROPPED, 2, 0},
    {VALUE_CUT, 3, 0},
    {WHY_STOP, 0, 0},
    {WHY_FOCUS_CHANGED, 0, 0},
    {WHY_TYPING_FAILED, 0, 0},
    {PASTED_UNTYPEABLE, 0, 0},
    {PASTE_FAILED, 0, 0},
    {PASTE_UNAVAILABLE, 0, 0},
    {PASTE_NO_CLIPBOARD, 0, 0},
    {AND_ERROR_UNUSUAL, 0, 0},
    {AND_ERROR_DATASET_NOT_READY, 0, 0},
    {AND_ERROR_NOT_CONNECTED, 0, 0},
    {AUTO_PORT_DETECTION_STARTED, 0, 0},
    {TESTING_PORT_0, 0, 1},
    {CONFIDENCE, 0, 0},
    {BEST_PORT, 0, 0},
    {COULD_NOT_AUTO_DETECT_PORT, 0, 0},
};

} // namespace WorkerMessages
} // namespace tarovex::worker
