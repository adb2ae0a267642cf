#pragma once

#include "config/Config.h"
#include "typing/KeyOutputFactory.h"
#include "typing/KeySynthesizer.h"
#include "typing/KeyboardLane.h"
#include "typing/Keybot.h"
#include "typing/KeystrokeQueue.h"
#include "typing/TypingFate.h"
#include "typing/TypingLog.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

namespace tarovex::typing {

// The keystroke output of one run, as the window and the console both use it: a Keybot
// built from the settings (delay, start key, terminators, every-X, keyboard type, the
// preset's coverage) with a queue of its own, typing through the platform output chosen by
// `backend`, on a thread of its own. Typing errors reach `log` on that thread.
//
// The keyboard is `lane`: sessions given the same lane take turns, a whole value each (see
// KeyboardLane). Nothing here waits for typing but the destructor.
class TypingSession {
public:
    // Throws std::runtime_error with the reasons of every backend tried when no output can
    // be made. `backend.keyboardType` is taken from the settings.
    TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                  KeyOutputOptions backend = {},
                  const SessionEnvironment& environment = SessionEnvironment::current());
    // Types through `synthesizer` (a desktop's or a test's), described as `description`.
    TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                  std::unique_ptr<KeySynthesizer> synthesizer, QString description);
    // Stops, and waits for the value being typed.
    ~TypingSession();
    TypingSession(const TypingSession&) = delete;
    TypingSession& operator=(const TypingSession&) = delete;

    // How long a stopped run's value in hand may take to complete in its window.
    static constexpr std::chrono::milliseconds kStopGrace{1000};

    // Queues a value; the empty one is dropped. Never blocks. False when the full queue
    // refused it.
    bool putString(const QString& value, std::uint64_t id = 0) { return keybot_->putString(value, id); }
    // Queues a row typed as one value (Keybot::putRow).
    bool putRow(std::vector<RowPart> row, std::uint64_t id) { return keybot_->putRow(std::move(row), id); }
    // Starts the typing thread (once). `fates` hears what became of each value taken from
    // the queue, `ended` that the thread ended; both on that thread.
    void start(std::function<void()> ended = {}, FateHandler fates = {});
    // No value begins before `until` where the output cannot see the keyboard.
    void settleUntil(std::chrono::steady_clock::time_point until) { keybot_->settleUntil(until); }
    // While held (our own window has the focus), values wait in the queue; the value being
    // typed is cut short.
    void setHeld(bool held) { queue_.setHeld(held); }
    // Ends the typing without waiting for it: the value being typed may complete within
    // kStopGrace in its own window, else it is cut short; the values not yet typed are
    // dropped and returned.
    KeystrokeQueue::Discarded stop();
    // Drops the values waiting; the thread goes on with the next one put.
    KeystrokeQueue::Discarded dropWaiting() { return queue_.discard(); }
    // Ends the value being typed at once: the keys down are released, the rest is dropped.
    void abandon();
    // True once the typing thread has ended (or never started).
    bool hasEnded() const { return !started_ || ended_.load(); }

    // The backend and the layout it types with, as one log line.
    const QString& description() const { return description_; }
    // What the log says at Start besides: characters the layout cannot type.
    const QStringList& warnings() const { return warnings_; }

private:
    struct Output {
        std::unique_ptr<KeySynthesizer> synthesizer;
        QString description;
        QStringList warnings;
        std::shared_ptr<Clipboard> clipboard;
    };
    static Output platformOutput(const config::Config& config, KeyOutputOptions backend,
                                 const SessionEnvironment& environment);
    TypingSession(const config::Config& config, TypingLog& log, std::shared_ptr<KeyboardLane> lane,
                  Output output);
    // Pastes as the settings say where `clipboard` can; else says at Start why values are typed.
    void choosePaste(const config::Config& config, TypingLog& log,
                     const std::shared_ptr<Clipboard>& clipboard);

    QString description_;
    QStringList warnings_;
    KeystrokeQueue queue_;
    std::unique_ptr<Keybot> keybot_;
    std::stop_source abort_;
    bool started_ = false;
    std::atomic<bool> ended_{false};
    std::jthread thread_; // last: joined before the rest goes
};

} // namespace tarovex::typing
