#pragma once

#include "config/Config.h"
#include "worker/DataLine.h"

#include <QString>

namespace tarovex {

// What became of a received line's value in the run.
enum class ReadingOutcome {
    Value,    // output: typed, written, played
    Repeat,   // suppressed by the repeat filter
    NoValue,  // the line has no value
    Unstable, // the instrument marked it unstable and only stable values are wanted
};

// A capability that follows the readings of every run (a record of the readings, the last
// reading shown large, requests to the instrument). Attached where the run is assembled;
// called on the thread that owns the run, in arrival order, and must not block it.
class ReadingConsumer {
public:
    virtual ~ReadingConsumer() = default;
    // The port is open; `config` holds the run's settings (valid until runStopped).
    virtual void runStarted(const config::Config& config) { (void)config; }
    // A received line with the value it was processed to (before the repeat filter).
    virtual void reading(const worker::DataLine& line, ReadingOutcome outcome) = 0;
    // The reading has ended: `reason` is empty when it was stopped, else why it ended by
    // itself, in one line.
    virtual void runStopped(const QString& reason) { (void)reason; }
};

} // namespace tarovex
