#pragma once

#include "tarovex/RunServices.h"

#include <QStringList>

namespace tarovex {

// A keystroke output that keeps what it was given instead of typing it: for tests and
// screenshots.
class RecordingTyper : public ValueTyper {
public:
    void putString(const QString& value) override {
        if (!value.isEmpty())
            values.append(value);
    }
    void start() override { running = true; }
    void stop() override { running = false; }
    QString description() const override { return describedAs; }

    QStringList values;
    bool running = false;
    QString describedAs;
};

// A sound that counts its notes.
class RecordingSound : public SoundPlayer {
public:
    void play() override { ++played; }
    void close() override { closed = true; }
    int played = 0;
    bool closed = false;
};

// An update check that never asks anyone.
class NoUpdateChecker : public UpdateChecker {
public:
    void start(std::function<void(const QString&)>) override {}
    bool isAvailable() const override { return false; }
};

// Typers and sounds that record, no Caps Lock information, the real worker.
RunServices recordingServices();

} // namespace tarovex
