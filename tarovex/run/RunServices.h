#pragma once

#include "config/Config.h"
#include "reading/EventLog.h"
#include "tarovex/run/GlobalHotkey.h"
#include "typing/KeystrokeQueue.h"
#include "typing/TypingFate.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WeightWorkerView.h"
#include "worker/sound/SoundOutput.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarovex {

class Round;

// The keystroke output of a run: values go into its queue and are typed on its own thread;
// the fate of every value it accepted is told once, typed or dropped with a reason.
// Every call is made on the thread that made it and returns at once.
class ValueTyper {
public:
    // Waits for the typing thread: call it once `ended` has come, or to end the process.
    virtual ~ValueTyper() = default;
    // Queues a value under `id`; an empty one is dropped. False when the value was refused
    // (the queue is full); its fate is then not told.
    virtual bool putString(const QString& value, std::uint64_t id) = 0;
    // Queues a row of values typed as one, each part with its own start key and terminator;
    // its one fate is told under `id`. False when refused (also by a typer that types no rows).
    virtual bool putRow(std::vector<typing::RowPart> row, std::uint64_t id) {
        (void)row;
        (void)id;
        return false;
    }
    // Starts typing; `fates` hears what became of the values, `ended` that the thread
    // ended, after every fate; both on the typing thread.
    virtual void start(std::function<void()> ended, typing::FateHandler fates) = 0;
    // While held (our window has the focus), values wait (and age); the value being typed is
    // cut short.
    virtual void setHeld(bool held) = 0;
    // Ends the typing; the value being typed may complete within a second in its own window,
    // else it is cut short. Returns the values not typed, whose fates are not told: those
    // still waiting, and those that had grown too old.
    struct Stopped {
        std::vector<std::uint64_t> waiting;
        std::vector<std::uint64_t> expired;
    };
    virtual Stopped stop() = 0;
    // Drops the values waiting, typing goes on with the next one put; those dropped.
    virtual Stopped dropWaiting() { return {}; }
    // Ends the value being typed at once: the keys down are released, the rest is dropped.
    virtual void abandon() = 0;
    // A desktop shortcut asked for a reading: where the keyboard cannot be seen, no value
    // begins before `until`, so that it does not go to the shortcut's keys.
    virtual void settleUntil(std::chrono::steady_clock::time_point until) { (void)until; }
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
    std::function<std::unique_ptr<ValueTyper>(const config::Config&, reading::EventLog&)> makeTyper;
    // None: the run is silent.
    std::function<std::unique_ptr<worker::SoundOutput>(int percussionNumber)> makeSound;
    // Caps Lock on, off, or unknown; none: not asked.
    std::function<std::optional<bool>()> capsLockOn;
    // Opens the port of a run and makes it ready for a worker. Runs on a thread of its own
    // and may wait long; it must not touch anything it does not own.
    std::function<worker::OpenedPort(const config::Config&)> openPort = worker::openWorkerPort;
    // The desktop's key grabber for the request key; none: the run takes no key.
    std::function<std::unique_ptr<GlobalHotkey>()> makeHotkey;
    // The rounds of the station whose runs share these services; none: values are typed as
    // they arrive, whatever the setting round says.
    std::shared_ptr<Round> round;
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
class RunLog : public reading::EventLog {
public:
    // A received line after the repeat filter (its value empty when it has none).
    virtual void line(const reading::DataLine& line) = 0;
    // A line whose value is not used because the instrument marked it unstable.
    virtual void unstableLine(const reading::DataLine& line) = 0;
};

} // namespace tarovex
