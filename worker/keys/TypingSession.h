#pragma once

#include "config/Config.h"
#include "worker/WeightWorkerView.h"
#include "worker/keys/KeyOutputFactory.h"
#include "worker/keys/Keybot.h"

#include <QString>

#include <memory>
#include <thread>

namespace tarovex::worker::keys {

// The keystroke output of one run, as the window and the console both use it: a Keybot
// built from the settings (delay, start key, terminators, every-X, keyboard type, the
// preset's coverage), typing through the platform output chosen by `backend`, on a thread
// of its own. Typing errors reach `view` on that thread.
class TypingSession {
public:
    // Throws std::runtime_error with the reasons of every backend tried when no output can
    // be made. `backend.keyboardType` is taken from the settings.
    TypingSession(const config::Config& config, WeightWorkerView& view, KeyOutputOptions backend = {},
                  const SessionEnvironment& environment = SessionEnvironment::current());
    // Stops as stop() does.
    ~TypingSession();
    TypingSession(const TypingSession&) = delete;
    TypingSession& operator=(const TypingSession&) = delete;

    // Queues a value; the empty one is dropped. Never blocks.
    void putString(const QString& value) { keybot_->putString(value); }
    // Starts the typing thread (once).
    void start();
    // Ends the typing thread after the value being typed and waits for it. Values still
    // queued stay for the next session.
    void stop();

    // The backend and the layout it types with, as one log line.
    const QString& description() const { return description_; }
    // What the log says at Start besides: characters the layout cannot type.
    const QStringList& warnings() const { return warnings_; }

private:
    QString description_;
    QStringList warnings_;
    std::unique_ptr<Keybot> keybot_;
    std::jthread thread_;
};

} // namespace tarovex::worker::keys
