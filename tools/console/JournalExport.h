#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>

namespace tarovex::console {

// `--journal-export [--since TIME] [--until TIME] [--format csv|json] [--events]`: the journal
// of readings (with --events: of runs and settings changed) on `outFd`, errors on standard error. `args` are
// the program's arguments after its name. Returns the exit status: 0 written, 1 the journal cannot be read or
// the output written, 2 a wrong option.
int journalExport(const QStringList& args, int outFd);

// `--journal-verify [--head SEQ:HASH]`: walks the journal's hash chain; the result on
// `outFd`, errors on standard error. Returns 0 intact (the rows checked and the head), 1 a row
// changed, inserted, moved or deleted (its seq named) or the saved head missing, 2 a journal
// that cannot be read or a wrong option.
int journalVerify(const QStringList& args, int outFd);

// An ISO 8601 time as milliseconds since the epoch: a date (midnight) or a date and time,
// in local time unless it ends in Z or an offset. None when it does not read.
std::optional<std::int64_t> parseExportTime(const QString& text);

} // namespace tarovex::console
