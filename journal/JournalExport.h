#pragma once

#include "journal/JournalDb.h"

#include <QIODevice>

namespace tarovex::journal {

enum class ExportFormat { Csv, Json };

// Writes the readings with fromMs <= time < toMs to `out`: CSV with a header row, or one
// JSON object per line. Returns how many were written. Throws JournalError when the journal
// cannot be read, and when `out` refuses a write.
std::int64_t exportJournal(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                           QIODevice& out);

} // namespace tarovex::journal
