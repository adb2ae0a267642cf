#pragma once

#include "StreamWriter.h"
#include "worker/Ignorer.h"
#include "worker/WeightWorkerView.h"
#include "worker/sound/SoundOutput.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace tarovex::console {

// How a value goes out: readable on one line (control characters as in the log, <13>), or
// raw and ended by a NUL byte.
enum class ValueFormat { Readable, NullTerminated };

// The bytes of one value on the value stream.
QByteArray valueRecord(const QString& value, ValueFormat format);

// The worker's view without a display: each line's processed value (after the repeat
// filter, when there is one; empty when the line has no value) as one record on the value
// stream; the message log as "HH:MM:SS text" lines on the log stream. Both streams are
// written by writers of their own, so a stalled reader never blocks the caller.
class ConsoleView : public worker::WeightWorkerView {
public:
    ConsoleView(StreamWriter& values, StreamWriter& log, std::optional<worker::Ignorer> ignorer,
                bool logLines, ValueFormat format);

    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void setConnectedInGUI(bool connected) override { connected_ = connected; }
    void dataLineReceived(worker::DataLine line) override;

    // Played for every value written non-empty (after the repeat filter); none: silent.
    void setSound(worker::SoundOutput* sound) { sound_ = sound; }
    // Given every value after the repeat filter (also the empty ones); none: nothing typed.
    void setTyper(std::function<void(const QString&)> type) { type_ = std::move(type); }

    bool isConnected() const { return connected_; }

private:
    void log(const QString& time, const QString& text);

    StreamWriter& values_;
    StreamWriter& log_;
    std::optional<worker::Ignorer> ignorer_;
    bool logLines_;
    worker::SoundOutput* sound_ = nullptr;
    std::function<void(const QString&)> type_;
    ValueFormat format_;
    bool connected_ = false;
    bool dropping_ = false; // values are being dropped: said once per stretch
};

} // namespace tarovex::console
