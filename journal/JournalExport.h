#pragma once

#include "journal/JournalDb.h"

#include <QIODevice>

#include <functional>

namespace tarovex::journal {

enum class ExportFormat { Csv, Json };

// Writes the readings with fromMs <= time < toMs to `out`: CSV with a header row, or one
// JSON object per line; each with its hash, so that the last row's seq and hash are the
// chain's head as far as the export goes. Returns how many were written. Throws JournalError when the journal
// cannot be read, and when `out` refuses a write. `keepGoing` hears the count after each
// reading; the export ends there when it answers false.
std::int64_t exportJournal(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                           QIODevice& out, const std::function<bool(std::int64_t)>& keepGoing = {});

// The same for the runs and the settings changed with fromMs <= time < toMs.
std::int64_t exportEvents(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                          QIODevice& out);

} // namespace tarovex::journal
