#include "tarovex/KeyboardService.h"

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
    void dataLineReceived(worker::DataLine) override {}

private:
    worker::WeightWorkerView& view_;
    QObject context_;
};

class KeyboardTyper : public ValueTyper {
public:
    KeyboardTyper(const config::Config& config, worker::WeightWorkerView& view)
        : log_(view), session_(config, log_) {}

    void putString(const QString& value) override { session_.putString(value); }
    void start() override { session_.start(); }
    void stop() override { session_.stop(); }
    QString description() const override { return session_.description(); }
    QStringList warnings() const override { return session_.warnings(); }

private:
    ThreadSafeLog log_; // before the session, which reports to it until it has stopped
    worker::keys::TypingSession session_;
};

} // namespace

std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view) {
    return std::make_unique<KeyboardTyper>(config, view);
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
