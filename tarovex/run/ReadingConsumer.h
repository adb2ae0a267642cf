#pragma once

#include "config/Config.h"
#include "worker/DataLine.h"

#include <QLatin1StringView>
#include <QString>

namespace tarovex {

// What became of a received line's value in the run.
enum class ReadingOutcome {
    Value,    // handed to the output (its fate follows in settled()), played
    Repeat,   // suppressed by the repeat filter
    NoValue,  // the line has no value
    Unstable, // the instrument marked it unstable and only stable values are wanted
};

// How a value handed to the output ended.
enum class Delivery {
    Typed,   // its last key was sent
    Printed, // a run that does not type wrote it
    Dropped, // it was not typed whole; the reason says why
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
    // The fate of a line that came with outcome Value, once known (typing takes its time):
    // `reason` says why a dropped value was not typed whole ("stop", "age", ...).
    virtual void settled(const worker::DataLine& line, Delivery delivery, QLatin1StringView reason) {
        (void)line, (void)delivery, (void)reason;
    }
    // The reading has ended: `reason` is empty when it was stopped, else why it ended by
    // itself, in one line.
    virtual void runStopped(const QString& reason) { (void)reason; }
};

} // namespace tarovex
