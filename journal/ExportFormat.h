#pragma once

#include "journal/Reading.h"
#include "journal/RecordEvent.h"

#include <QByteArray>
#include <QJsonObject>

namespace tarovex::journal {

// The time as ISO 8601 UTC with milliseconds: 2026-12-08T09:15:02.250Z.
QString isoTime(std::int64_t timeMs);

// The raw line as the message log shows it: printable ASCII as it is, every other byte as
// <code> (CR LF reads <13><10>).
QString readableLine(const QByteArray& line);

// The last column of a CSV file. Columns are only ever added at the end, so that readers of
// the files before them find their columns where they were; a live CSV file begun earlier goes
// on with its own.
enum class CsvEnd { Outcome, Reason, Label, Output };

// CSV (RFC 4180: fields with a comma, quote, CR or LF quoted, quotes doubled; CRLF ends a
// row; UTF-8). The export has the seq column (after outcome) and, last, the hash column (the
// row's link in the chain, hex), the live CSV file neither. A cell
// that is not a number and begins with = + - @, a tab or CR gets a leading apostrophe, so
// that no spreadsheet evaluates it.
QByteArray csvHeader(bool withSeq, CsvEnd end = CsvEnd::Output);
QByteArray csvRow(const Reading& reading, const QString& station, std::optional<std::int64_t> seq,
                  CsvEnd end = CsvEnd::Output, const QByteArray& hash = {});

// One reading as a JSON object, as exported and as published; with its hash (hex) once sealed.
QJsonObject jsonObject(const StoredReading& stored);

// The runs and settings changed as the export gives them: CSV with the columns time, station,
// kind, user, host, version, label, port, instrument, clock_synchronised (true, false or empty
// when unknown), setting, old_value, new_value, hash; or a JSON object with the same names,
// leaving out what the event's kind has not.
QByteArray csvEventHeader();
QByteArray csvEventRow(const StoredEvent& event);
QJsonObject jsonObject(const StoredEvent& event);

} // namespace tarovex::journal
