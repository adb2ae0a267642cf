#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarovex::journal {

// What became of a received line.
enum class Outcome {
    Typed,    // the value's last key was sent
    Printed,  // a run without typing wrote its value
    Filtered, // the repeat filter suppressed its value
    Unstable, // the instrument flagged the reading as not yet stable
    Dropped,  // a value that was not delivered; the reading's reason says why
    Error,    // a line that gave no value, or a parity or framing error hit it
};

// The outcome's name in the journal and in exports ("typed", ...).
QLatin1StringView outcomeName(Outcome outcome);
std::optional<Outcome> outcomeFromName(QStringView name);

// One reading as a run hands it to the journal.
struct Reading {
    std::int64_t timeMs = 0; // UTC, milliseconds since the Unix epoch
    QString port;
    QString instrument; // the preset constant, e.g. GENERIC
    QByteArray line;    // the raw bytes, terminator included
    QString value;      // as typed; empty when none
    Outcome outcome = Outcome::Dropped;
    // Why a Dropped value was not delivered, in a few lower-case words ("stop", "age",
    // "focus changed", "queue full", ...); empty for every other outcome.
    QString reason{};
    // The instrument's name at its station: its label, else its port.
    QString label{};
    // What the output template made of the value ("12.5 kg{TAB}"); empty without one.
    QString output{};
};

// A reading as the journal holds it.
struct StoredReading {
    Reading reading;
    QString station;
    std::int64_t seq = 0; // increasing per station, across restarts
    QByteArray hash;      // the row's link in the hash chain (SHA-256); empty before it is sealed
};

} // namespace tarovex::journal
