#pragma once

#include "ConsoleView.h"

#include "config/Config.h"
#include "tarovex/run/LockWatch.h"
#include "tarovex/station/Run.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarovex::console {

// The instruments of one console run, each a run of its own on its own port, sharing the
// value stream, the log stream and (through the services given) one keyboard. With more than
// one, every value goes out as "NAME<TAB>value" and every log line names its instrument. One
// that fails (its port cannot be opened, its device vanishes) ends alone; the others go on.
// UI thread.
class ConsoleStation {
public:
    struct Streams {
        StreamWriter& values;
        StreamWriter& log;
        bool logLines = true;
        ValueFormat format = ValueFormat::Readable;
    };
    // `names`: tag values and log lines with each instrument's name.
    ConsoleStation(Streams streams, bool names);
    ~ConsoleStation();

    // Adds an instrument (its run is assembled at once); its log, for messages before the start.
    RunLog& add(const config::Config& config, RunServices services, bool record, bool typingRequired);
    // Starts every instrument; false when none could begin (the log says why).
    bool start();
    // Stops every instrument; `ended` follows once all are complete.
    void stop();
    // Asks every instrument for a reading (its request command).
    void request();
    // Called once, when every instrument has ended: 1 when any failed, else 0.
    void onEnded(std::function<void(int)> ended) { ended_ = std::move(ended); }
    // Waits for the brokers; returns the readings still queued for them.
    qsizetype finishRecords(std::chrono::milliseconds bound);

private:
    struct Instrument;
    void instrumentEnded(Instrument& instrument, bool failed);

    Streams streams_;
    const bool names_;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    std::function<void(int)> ended_;
    bool failed_ = false;
    std::unique_ptr<LockWatch> lock_; // where values are typed
    QObject context_; // the connections' receiver, gone with the station
};

} // namespace tarovex::console
