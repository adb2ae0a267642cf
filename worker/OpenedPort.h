#pragma once

#include "config/Config.h"
#include "worker/ByteSource.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tarovex::worker {

// A run's source opened and made ready, with what the opening had to say. Opening may
// wait on a device or a network for seconds, so it is done on any thread; a worker takes
// the result on its owner thread without waiting.
struct OpenedPort {
    std::unique_ptr<ByteSource> source;
    // A recorded stream: its end is a stop, not a lost device.
    bool recording = false;
    // For the log, in order: "Port ... opened", the modem lines; a USB scale: "USB scale ... opened".
    QStringList messages;
    // The start-up check's warning (see WeightWorkerFactory).
    std::optional<QString> warning;
};

// Opens and configures the port of `config` (a serial device or a network port), empties
// its input, sets RTS off and DTR on and reads DSR and CTS; a USB scale ("hid:") is only
// opened and emptied. Throws std::invalid_argument
// with the text of "null.port.error" when no port is set, and the serial library's
// exceptions when the port cannot be opened or set up (it is closed again then). Any thread.
OpenedPort openPort(const config::Config& config);
// The same steps on `source` (open, not to be emptied: a recorded stream), whose log line
// shows the serial settings of `config`. Modem lines the source lacks read as off.
OpenedPort openRecording(std::unique_ptr<ByteSource> source, const config::Config& config);

} // namespace tarovex::worker
