#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace tarovex::worker {

class ByteSource;

// Brings a run's device back after it vanished (a cable bump, a USB reset). The device is
// recognised by its stable name: the entry of the by-id folder that is the port or points
// at it when the run starts, since the kernel may give the returning device another
// ttyUSB number; without one, by the port's own path. A network port is waited for by
// connecting to it again.
class Reconnector {
public:
    static constexpr std::chrono::milliseconds kPollInterval{200};

    // Resolves the stable name of `port` now, while the device is there.
    explicit Reconnector(const QString& port,
                         const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

    // The name the device is waited for under.
    const QString& watchedName() const { return watched_; }

    // Closes `source`, waits until it opens again under the watched name with its settings
    // and returns true; false as soon as `stop` is requested (the source stays closed then).
    bool reopen(ByteSource& source, const std::stop_token& stop);

    // The entry of `byIdFolder` that is `port` or resolves to the same device; else `port`.
    static QString stableName(const QString& port, const QString& byIdFolder);

private:
    QString watched_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
};

} // namespace tarovex::worker
