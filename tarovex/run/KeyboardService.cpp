#include "tarovex/run/KeyboardService.h"

#include "reading/PostedLog.h"
#include "typing/KeyOutputFactory.h"
#include "typing/TypingSession.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

namespace tarovex {
namespace {

// The Keybot reports from its own thread; the run's log lives on the thread that made the
// typer. Reports still queued when the typer goes are dropped.
class ThreadSafeLog : public typing::TypingLog {
public:
    explicit ThreadSafeLog(reading::EventLog& log) : posted_(&log) {}

    void logEvent(const QString& text) override { posted_.logEvent(text); }
    void logImportantEvent(const QString& text) override { posted_.logImportantEvent(text); }
    QString text(typing::TypingText message) const override { return typingText(message); }

private:
    reading::PostedLog posted_;
};

class KeyboardTyper : public ValueTyper {
public:
    template <typename... Output>
    KeyboardTyper(const config::Config& config, reading::EventLog& log,
                  std::shared_ptr<typing::KeyboardLane> lane, Output&&... output)
        : runLog_(log), log_(log), session_(config, log_, std::move(lane), std::forward<Output>(output)...) {}

    bool putString(const QString& value, std::uint64_t id) override { return session_.putString(value, id); }
    bool putRow(std::vector<typing::RowPart> row, std::uint64_t id) override {
        return session_.putRow(std::move(row), id);
    }
    void start(std::function<void()> ended, typing::FateHandler fates) override {
        session_.start(std::move(ended), std::move(fates));
    }
    void setHeld(bool held) override { session_.setHeld(held); }
    Stopped stop() override {
        typing::KeystrokeQueue::Discarded discarded = session_.stop();
        if (discarded.stale)
            runLog_.logImportantEvent(
                typing::staleValuesMessage(*discarded.stale, typing::KeystrokeQueue::kDefaultMaxAge));
        return {std::move(discarded.ids), std::move(discarded.expired)};
    }
    Stopped dropWaiting() override {
        typing::KeystrokeQueue::Discarded discarded = session_.dropWaiting();
        return {std::move(discarded.ids), std::move(discarded.expired)};
    }
    void abandon() override { session_.abandon(); }
    void settleUntil(std::chrono::steady_clock::time_point until) override { session_.settleUntil(until); }
    QString description() const override { return session_.description(); }
    QStringList warnings() const override { return session_.warnings(); }

private:
    reading::EventLog& runLog_;
    ThreadSafeLog log_; // before the session, which reports to it until it has stopped
    typing::TypingSession session_;
};

} // namespace

QString typingText(typing::TypingText message) {
    using typing::TypingText;
    namespace M = worker::WorkerMessages;
    QLatin1StringView key;
    switch (message) {
    case TypingText::CannotType:
        key = M::CANNOT_TYPE;
        break;
    case TypingText::QueueFull:
        key = M::KEYSTROKE_QUEUE_FULL;
        break;
    case TypingText::KeysWaited:
        key = M::KEYS_WAITED;
        break;
    case TypingText::KeysStillHeld:
        key = M::KEYS_STILL_HELD;
        break;
    case TypingText::ValueDropped:
        key = M::VALUE_DROPPED;
        break;
    case TypingText::ValueCut:
        key = M::VALUE_CUT;
        break;
    case TypingText::WhyStop:
        key = M::WHY_STOP;
        break;
    case TypingText::WhyFocusChanged:
        key = M::WHY_FOCUS_CHANGED;
        break;
    case TypingText::WhyTypingFailed:
        key = M::WHY_TYPING_FAILED;
        break;
    case TypingText::PastedUntypeable:
        key = M::PASTED_UNTYPEABLE;
        break;
    case TypingText::PasteFailed:
        key = M::PASTE_FAILED;
        break;
    case TypingText::PasteUnavailable:
        key = M::PASTE_UNAVAILABLE;
        break;
    case TypingText::NoClipboard:
        key = M::PASTE_NO_CLIPBOARD;
        break;
    }
    return worker::workerBundle().getString(key);
}

std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, reading::EventLog& log,
                                              std::shared_ptr<typing::KeyboardLane> lane,
                                              const typing::KeyOutputOptions& backend) {
    return std::make_unique<KeyboardTyper>(config, log, std::move(lane), backend);
}

std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, reading::EventLog& log,
                                              std::shared_ptr<typing::KeyboardLane> lane,
                                              std::unique_ptr<typing::KeySynthesizer> synthesizer,
                                              const QString& description) {
    return std::make_unique<KeyboardTyper>(config, log, std::move(lane), std::move(synthesizer), description);
}

std::optional<bool> capsLockOn() {
    switch (typing::capsLockState()) {
    case typing::CapsLockState::On:
        return true;
    case typing::CapsLockState::Off:
        return false;
    case typing::CapsLockState::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace tarovex
