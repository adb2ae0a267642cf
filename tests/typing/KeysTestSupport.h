#pragma once

#include "tarovex/run/KeyboardService.h"
#include "typing/KeySynthesizer.h"
#include "typing/TypingLog.h"

#include <QStringList>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

namespace keys_test {

// Records the stream as one line: "+16" press, "-16" release, "d" a delay of the key delay
// ("d7" for another length). Codes in the refusal sets throw std::invalid_argument.
class RecordingSynthesizer : public tarovex::typing::KeySynthesizer {
public:
    explicit RecordingSynthesizer(int keyDelay = 0) : keyDelay_(keyDelay) {}

    std::set<int> refusePress, refuseRelease;
    // What the desktop would say: the focus window, and whether a key is held.
    std::function<std::optional<tarovex::typing::KeyTarget>()> focus;
    std::function<std::optional<bool>()> held;
    std::optional<tarovex::typing::KeyTarget> target() override { return focus ? focus() : std::nullopt; }
    std::optional<bool> keysHeld() override { return held ? held() : std::nullopt; }

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
    // "^C+S+76": Control, Shift and the key of keysym 0x76; refused while `refuseShortcuts`.
    bool refuseShortcuts = false;
    void pressShortcut(const tarovex::typing::Shortcut& s) override {
        add(QStringLiteral("^") + (s.control ? "C+" : "") + (s.shift ? "S+" : "") +
            QString::number(s.keysym, 16));
        if (refuseShortcuts)
            throw std::invalid_argument("refused");
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

// Polls `done` until it holds, for at most `limitMs`.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The messages, important and not, in the program's words; the Keybot calls it from its
// own thread.
class LogView : public tarovex::typing::TypingLog {
public:
    void logEvent(const QString& text) override {
        const std::lock_guard lock(mutex_);
        events_.append(text);
    }
    void logImportantEvent(const QString& text) override {
        const std::lock_guard lock(mutex_);
        important_.append(text);
    }
    QString text(tarovex::typing::TypingText message) const override { return tarovex::typingText(message); }

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

// Key synthesis into a recording shared by every typer, with real pauses, as on one keyboard.
class SlowKeys : public tarovex::typing::KeySynthesizer {
public:
    explicit SlowKeys(RecordingSynthesizer& record) : record_(record) {}
    void press(int code) override { record_.press(code); }
    void release(int code) override { record_.release(code); }
    void delay(int ms) override {
        record_.delay(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

private:
    RecordingSynthesizer& record_;
};

} // namespace keys_test
