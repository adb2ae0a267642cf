#pragma once

#include "config/Config.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WeightWorkerView.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarovex {

// The keystroke output of a run as the window sees it: values go into its queue and are
// typed on its own thread between start() and stop().
class ValueTyper {
public:
    virtual ~ValueTyper() = default;
    // Queues a value; an empty one is dropped. Never blocks. UI thread.
    virtual void putString(const QString& value) = 0;
    virtual void start() = 0;
    // Ends the typing thread after the value being typed; waits for it.
    virtual void stop() = 0;
    // The backend and the layout it types with, for the log at Start; empty: nothing to say.
    virtual QString description() const { return {}; }
    // Warnings for the log at Start (characters the layout cannot type).
    virtual QStringList warnings() const { return {}; }
};

// The per-value sound of a run.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts the note and returns at once.
    virtual void play() = 0;
    virtual void close() = 0;
};

// The background check for a newer version; reports through the status setter.
class UpdateChecker {
public:
    virtual ~UpdateChecker() = default;
    virtual void start(std::function<void(const QString& status)> setStatus) = 0;
    // False when this build has nowhere to ask: start() then does nothing.
    virtual bool isAvailable() const { return true; }
};

// How a run gets its parts. A factory throws (std::exception) when the part cannot be made;
// the run then goes on without it.
struct RunServices {
    std::function<std::unique_ptr<ValueTyper>(const config::Config&, worker::WeightWorkerView&)> makeTyper;
    std::function<std::unique_ptr<SoundPlayer>(int percussionNumber)> makeSound;
    // Caps Lock on, off, or unknown.
    std::function<std::optional<bool>()> capsLockOn;
    std::function<worker::CreatedWorker(worker::WeightWorkerView&, const config::Config&)> makeWorker =
        worker::createWeightWorker;
};

// Message dialogs, as the window shows them (tests record them).
class Notifier {
public:
    enum class Kind { Error, Warning, Info };
    virtual ~Notifier() = default;
    virtual void show(Kind kind, const QString& title, const QString& message) = 0;
};

} // namespace tarovex
