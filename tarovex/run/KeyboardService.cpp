#include "tarovex/run/KeyboardService.h"

#include "worker/keys/KeyOutputFactory.h"
#include "worker/keys/TypingSession.h"

#include <QMetaObject>
#include <QObject>

namespace tarovex {
namespace {

// The Keybot reports from its own thread; the window's log lives on the thread that made
// the typer. Reports still queued when the typer goes are dropped with `context_`.
class ThreadSafeLog : public worker::WeightWorkerView {
public:
    explicit ThreadSafeLog(worker::WeightWorkerView& view) : view_(view) {}

    void logEvent(const QString& text) override {
        QMetaObject::invokeMethod(&context_, [this, text] { view_.logEvent(text); });
    }
    void logImportantEvent(const QString& text) override {
        QMetaObject::invokeMethod(&context_, [this, text] { view_.logImportantEvent(text); });
    }
    // A Keybot reports nothing else.
    void setConnectedInGUI(bool) override {}
    void dataLineReceived(reading::DataLine) override {}

private:
    worker::WeightWorkerView& view_;
    QObject context_;
};

class KeyboardTyper : public ValueTyper {
public:
    template <typename... Output>
    KeyboardTyper(const config::Config& config, worker::WeightWorkerView& view, Output&&... output)
        : view_(view), log_(view), session_(config, log_, std::forward<Output>(output)...) {}

    bool putString(const QString& value, std::uint64_t id) override { return session_.putString(value, id); }
    void start(std::function<void()> ended, worker::keys::FateHandler fates) override {
        session_.start(std::move(ended), std::move(fates));
    }
    void setHeld(bool held) override { session_.setHeld(held); }
    Stopped stop() override {
        worker::KeystrokeQueue::Discarded discarded = session_.stop();
        if (discarded.stale)
            view_.logImportantEvent(
                worker::staleValuesMessage(*discarded.stale, worker::KeystrokeQueue::kDefaultMaxAge));
        return {std::move(discarded.ids), std::move(discarded.expired)};
    }
    void abandon() override { session_.abandon(); }
    void settleUntil(std::chrono::steady_clock::time_point until) override { session_.settleUntil(until); }
    QString description() const override { return session_.description(); }
    QStringList warnings() const override { return session_.warnings(); }

private:
    worker::WeightWorkerView& view_;
    ThreadSafeLog log_; // before the session, which reports to it until it has stopped
    worker::keys::TypingSession session_;
};

} // namespace

std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view,
                                              const worker::keys::KeyOutputOptions& backend) {
    return std::make_unique<KeyboardTyper>(config, view, backend);
}

std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view,
                                              std::unique_ptr<worker::keys::KeySynthesizer> synthesizer,
                                              const QString& description) {
    return std::make_unique<KeyboardTyper>(config, view, std::move(synthesizer), description);
}

std::optional<bool> capsLockOn() {
    switch (worker::keys::capsLockState()) {
    case worker::keys::CapsLockState::On:
        return true;
    case worker::keys::CapsLockState::Off:
        return false;
    case worker::keys::CapsLockState::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace tarovex
