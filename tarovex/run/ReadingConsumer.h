#pragma once

#include "config/Config.h"
#include "reading/DataLine.h"
#include "reading/Outcome.h"

#include <QLatin1StringView>
#include <QString>

namespace tarovex {

// The outcome of a line and the delivery of its value, as the run's consumers name them.
using reading::Delivery;
using reading::ReadingOutcome;

// A capability that follows the readings of every run (a record of the readings, the last
// reading shown large, requests to the instrument). Attached where the run is assembled;
// called on the thread that owns the run, in arrival order, and must not block it.
class ReadingConsumer {
public:
    virtual ~ReadingConsumer() = default;
    // The port is open; `config` holds the run's settings (valid until runStopped).
    virtual void runStarted(const config::Config& config) { (void)config; }
    // A received line with the value it was processed to (before the repeat filter).
    virtual void reading(const reading::DataLine& line, ReadingOutcome outcome) = 0;
    // The fate of a line that came with outcome Value, once known (typing takes its time):
    // `reason` says why a dropped value was not typed whole ("stop", "age", ...).
    virtual void settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) {
        (void)line, (void)delivery, (void)reason;
    }
    // The reading has ended: `reason` is empty when it was stopped, else why it ended by
    // itself, in one line.
    virtual void runStopped(const QString& reason) { (void)reason; }
};

} // namespace tarovex
