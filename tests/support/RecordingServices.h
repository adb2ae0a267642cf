#pragma once

#include "tarovex/run/RunServices.h"
#include "tests/support/RecordingSound.h"

#include <QStringList>

#include <functional>

namespace tarovex_test {

// A keystroke output that keeps what it was given instead of typing it.
class RecordingTyper : public tarovex::ValueTyper {
public:
    bool putString(const QString& value, std::uint64_t id) override {
        if (value.isEmpty())
            return true;
        if (held) {
            waiting.append({value, id});
            return true;
        }
        values.append(value);
        tell(id);
        return true;
    }
    // A row is kept as one value: a part with steps as the template text they make.
    bool putRow(std::vector<tarovex::typing::RowPart> row, std::uint64_t id) override {
        QString text;
        for (const auto& part : row)
            text += part.steps.empty() ? part.text : tarovex::reading::describeSteps(part.steps);
        return putString(text, id);
    }
    void start(std::function<void()> ended, tarovex::typing::FateHandler fates) override {
        running = true;
        ended_ = std::move(ended);
        fates_ = std::move(fates);
    }
    void setHeld(bool h) override {
        held = h;
        if (held)
            return;
        for (const auto& [value, id] : std::exchange(waiting, {})) {
            values.append(value);
            tell(id);
        }
    }
    Stopped stop() override {
        running = false;
        Stopped stopped;
        for (const auto& w : std::exchange(waiting, {}))
            stopped.waiting.push_back(w.second);
        if (ended_)
            std::exchange(ended_, {})();
        return stopped;
    }
    void abandon() override { stop(); }
    QString description() const override { return describedAs; }

    QStringList values; // typed
    QList<std::pair<QString, std::uint64_t>> waiting; // held back
    bool running = false;
    bool held = false;
    QString describedAs;

private:
    void tell(std::uint64_t id) {
        if (fates_)
            fates_({{id, {}}});
    }
    std::function<void()> ended_;
    tarovex::typing::FateHandler fates_;
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
