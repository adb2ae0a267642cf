#pragma once

#include "config/Config.h"
#include "tarovex/run/GlobalHotkey.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WeightWorkerView.h"
#include "worker/sound/SoundOutput.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

namespace tarovex {

// The keystroke output of a run: values go into its queue and are typed on its own thread.
// Every call is made on the thread that made it and returns at once.
class ValueTyper {
public:
    // Waits for the typing thread: call it once `ended` has come, or to end the process.
    virtual ~ValueTyper() = default;
    // Queues a value; an empty one is dropped.
    virtual void putString(const QString& value) = 0;
    // Starts typing; `ended` is called on the typing thread once it has ended.
    virtual void start(std::function<void()> ended) = 0;
    // While held, values wait (and age); the value being typed is completed.
    virtual void setHeld(bool held) = 0;
    // Ends the typing after the value being typed: the values not yet typed are dropped,
    // and their number returned.
    virtual std::size_t stop() = 0;
    // Ends the value being typed at once: the keys down are released, the rest is dropped.
    virtual void abandon() = 0;
    // The backend and the layout it types with, for the log at Start; empty: nothing to say.
    virtual QString description() const { return {}; }
    // Warnings for the log at Start (characters the layout cannot type).
    virtual QStringList warnings() const { return {}; }
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
    // None: the run types nothing.
    std::function<std::unique_ptr<ValueTyper>(const config::Config&, worker::WeightWorkerView&)> makeTyper;
    // None: the run is silent.
    std::function<std::unique_ptr<worker::SoundOutput>(int percussionNumber)> makeSound;
    // Caps Lock on, off, or unknown; none: not asked.
    std::function<std::optional<bool>()> capsLockOn;
    // Opens the port of a run and makes it ready for a worker. Runs on a thread of its own
    // and may wait long; it must not touch anything it does not own.
    std::function<worker::OpenedPort(const config::Config&)> openPort = worker::openWorkerPort;
    // The desktop's key grabber for the request key; none: the run takes no key.
    std::function<std::unique_ptr<GlobalHotkey>()> makeHotkey;
};

// Message dialogs, as the window shows them (tests record them).
class Notifier {
public:
    enum class Kind { Error, Warning, Info };
    virtual ~Notifier() = default;
    virtual void show(Kind kind, const QString& title, const QString& message) = 0;
};

// Where the messages of a run go: the window's message log, the console's standard error.
// Called on the thread that owns the run.
class RunLog {
public:
    virtual ~RunLog() = default;
    virtual void event(const QString& text, bool important) = 0;
    // A received line after the repeat filter (its value empty when it has none).
    virtual void line(const worker::DataLine& line) = 0;
    // A line whose value is not used because the instrument marked it unstable.
    virtual void unstableLine(const worker::DataLine& line) = 0;
};

} // namespace tarovex
