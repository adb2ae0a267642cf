#pragma once

#include "journal/Reading.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tarovex::journal {

// The journal cannot be opened, read or written; the text says which file and why.
class JournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One connection to the journal, an SQLite file in WAL mode. A connection belongs to one
// thread at a time; the writer and a reader (export, publishing) each open their own.
class JournalDb {
public:
    // $XDG_DATA_HOME/tarovex/journal.sqlite (~/.local/share/... without it).
    static QString defaultPath();

    // Opens the journal, creating it and its folder (mode 0700) when missing; the file is
    // made readable by its owner only (0600). Throws JournalError.
    explicit JournalDb(const QString& path);
    ~JournalDb();
    JournalDb(const JournalDb&) = delete;
    JournalDb& operator=(const JournalDb&) = delete;

    const QString& path() const { return path_; }

    // Appends the readings in one transaction, each with the station's next seq; `pending`
    // marks them for publishing. Returns the last seq given. Throws JournalError (nothing of
    // the group is then kept).
    std::int64_t append(std::span<const Reading> readings, const QString& station, bool pending);

    // Keeps the file and its write-ahead log on the disk within `maxBytes` together: the log
    // is checkpointed and cut back at walBound(maxBytes). The writer's connection sets it.
    void setSizeBound(std::int64_t maxBytes);
    static std::int64_t walBound(std::int64_t maxBytes);
    // True when prune() is due: the data outgrows its share of `maxBytes`, or the file and
    // its log take more than `maxBytes` on the disk.
    bool overBound(std::int64_t maxBytes);
    // The file and its -wal as they are on the disk (the small -shm index aside).
    std::int64_t diskBytes() const;

    // Deletes the readings older than `olderThanMs`, then the oldest ones while the data
    // takes more than its share of `maxBytes`; gives the freed space back to the disk and
    // empties the log. Returns how many were deleted.
    std::int64_t prune(std::int64_t olderThanMs, std::int64_t maxBytes);

    // The readings with fromMs <= time < toMs, in the order they were written.
    void forEach(std::int64_t fromMs, std::int64_t toMs, const std::function<void(const StoredReading&)>& f);
    void forEach(const std::function<void(const StoredReading&)>& f) {
        forEach(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), f);
    }

    // Up to `limit` readings of the station after `afterSeq` still waiting for publishing,
    // by seq.
    std::vector<StoredReading> pending(const QString& station, std::int64_t afterSeq, int limit);
    std::int64_t pendingCount(const QString& station);
    // Marks the station's readings as acknowledged by the broker, in one transaction.
    void markPublished(const QString& station, std::span<const std::int64_t> seqs);

    // The last seq given to the station; 0 before its first reading.
    std::int64_t lastSeq(const QString& station);
    std::int64_t count();
    // PRAGMA integrity_check: "ok" for a sound file.
    QString integrityCheck();

private:
    void exec(const char* sql);
    std::int64_t pragma(const char* sql);
    bool hasColumn(const char* table, const char* column);
    sqlite3_stmt* prepare(const char* sql);
    [[noreturn]] void fail(const char* what);

    QString path_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

} // namespace tarovex::journal
