#pragma once

#include "worker/Ignorer.h"
#include "worker/WeightWorkerView.h"
#include "worker/sound/SoundOutput.h"

#include <QByteArray>
#include <QObject>

#include <optional>

namespace tarovex::console {

// The worker's view without a display: each line's processed value (after the repeat
// filter, when there is one; empty when the line has no value) as one UTF-8 line on the
// value stream, flushed once per delivered batch so that a pipe gets every value as it
// comes; the message log as "HH:MM:SS text" lines on the log stream.
class ConsoleView : public worker::WeightWorkerView {
public:
    // File descriptors of the two streams; `ignorer` filters repeats when given.
    ConsoleView(int valueFd, int logFd, std::optional<worker::Ignorer> ignorer, bool logLines);

    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void setConnectedInGUI(bool connected) override { connected_ = connected; }
    void dataLineReceived(worker::DataLine line) override;

    // Played for every value written non-empty (after the repeat filter); none: silent.
    void setSound(worker::SoundOutput* sound) { sound_ = sound; }

    bool isConnected() const { return connected_; }
    // Writes the values not yet written.
    void flush();

private:
    void log(const QString& time, const QString& text);

    int valueFd_;
    int logFd_;
    std::optional<worker::Ignorer> ignorer_;
    bool logLines_;
    worker::SoundOutput* sound_ = nullptr;
    bool connected_ = false;
    bool flushScheduled_ = false;
    QByteArray values_;
    QObject context_; // a pending flush dies with the view
};

// Writes all of `bytes` to `fd`, retrying after signals; false when the stream refused.
bool writeAll(int fd, const QByteArray& bytes);

} // namespace tarovex::console
