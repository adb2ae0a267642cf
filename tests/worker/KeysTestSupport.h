#pragma once

#include "worker/WeightWorkerView.h"
#include "worker/keys/KeySynthesizer.h"

#include <QStringList>

#include <mutex>
#include <set>
#include <stdexcept>

namespace keys_test {

// Records the stream as one line: "+16" press, "-16" release, "d" a delay of the key delay
// ("d7" for another length). Codes in the refusal sets throw std::invalid_argument.
class RecordingSynthesizer : public tarovex::worker::keys::KeySynthesizer {
public:
    explicit RecordingSynthesizer(int keyDelay = 0) : keyDelay_(keyDelay) {}

    std::set<int> refusePress, refuseRelease;

    void press(int code) override {
        add(QStringLiteral("+%1").arg(code));
        if (refusePress.count(code))
            throw std::invalid_argument("refused");
    }
    void release(int code) override {
        add(QStringLiteral("-%1").arg(code));
        if (refuseRelease.count(code))
            throw std::invalid_argument("refused");
    }
    void delay(int ms) override {
        add(ms == keyDelay_ ? QStringLiteral("d") : QStringLiteral("d%1").arg(ms));
    }

    QString stream() const {
        const std::lock_guard lock(mutex_);
        return events_.join(u' ');
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    void add(const QString& e) {
        const std::lock_guard lock(mutex_);
        events_.append(e);
    }
    const int keyDelay_;
    mutable std::mutex mutex_;
    QStringList events_;
};

// The messages, important and not; the Keybot calls it from its own thread.
class LogView : public tarovex::worker::WeightWorkerView {
public:
    void logEvent(const QString& text) override {
        const std::lock_guard lock(mutex_);
        events_.append(text);
    }
    void logImportantEvent(const QString& text) override {
        const std::lock_guard lock(mutex_);
        important_.append(text);
    }
    void setConnectedInGUI(bool) override {}
    void dataLineReceived(tarovex::worker::DataLine) override {}

    QStringList important() const {
        const std::lock_guard lock(mutex_);
        return important_;
    }
    QStringList events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    QStringList important_, events_;
};

} // namespace keys_test
