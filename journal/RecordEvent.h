#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarovex::journal {

// What the journal keeps beside the readings so that they can be attributed: each run that
// began (who ran it, where, with which program and instrument, and whether the clock could be
// trusted) and each setting changed in the window.
struct RecordEvent {
    enum class Kind { Run, Setting };
    Kind kind = Kind::Run;
    std::int64_t timeMs = 0; // UTC, milliseconds since the Unix epoch
    QString user;            // the operating-system user
    QString host;
    QString version; // the program's
    // A run: its instrument.
    QString label{};
    QString port{};
    QString instrument{};
    std::optional<bool> clockSynchronised{}; // nothing when it could not be told
    // A setting: its key and its stored text before and after.
    QString setting{};
    QString oldValue{};
    QString newValue{};
};

// "run" or "setting", as the journal and its export name them.
QLatin1StringView eventKindName(RecordEvent::Kind kind);

// An event as the journal holds it.
struct StoredEvent {
    RecordEvent event;
    QString station;
    std::int64_t id = 0; // increasing, the order they were written in
    QByteArray hash;     // its link in the events' hash chain
};

} // namespace tarovex::journal
