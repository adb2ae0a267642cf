#pragma once

#include "tarovex/run/RunServices.h"
#include "tests/support/RecordingSound.h"

#include <QStringList>

#include <functional>

namespace tarovex_test {

// A keystroke output that keeps what it was given instead of typing it.
class RecordingTyper : public tarovex::ValueTyper {
public:
    void putString(const QString& value) override {
        if (!value.isEmpty() && !held)
            values.append(value);
        else if (!value.isEmpty())
            waiting.append(value);
    }
    void start(std::function<void()> ended) override {
        running = true;
        ended_ = std::move(ended);
    }
    void setHeld(bool h) override {
        held = h;
        if (!held)
            values += std::exchange(waiting, {});
    }
    std::size_t stop() override {
        running = false;
        const auto dropped = std::size_t(waiting.size());
        waiting.clear();
        if (ended_)
            std::exchange(ended_, {})();
        return dropped;
    }
    void abandon() override { stop(); }
    QString description() const override { return describedAs; }

    QStringList values;  // typed
    QStringList waiting; // held back
    bool running = false;
    bool held = false;
    QString describedAs;

private:
    std::function<void()> ended_;
};

// An update check that never asks anyone.
class NoUpdateChecker : public tarovex::UpdateChecker {
public:
    void start(std::function<void(const QString&)>) override {}
    bool isAvailable() const override { return false; }
};

// Typers and sounds that record, no Caps Lock information, the real worker.
tarovex::RunServices recordingServices();

} // namespace tarovex_test
