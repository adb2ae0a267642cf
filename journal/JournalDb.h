#pragma once

#include "journal/Reading.h"
#include "journal/RecordEvent.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
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

// A place in the hash chain: a row's station, seq and hash (SHA-256, 32 bytes).
struct ChainLink {
    QString station;
    std::int64_t seq = 0;
    QByteArray hash;
};

// What a walk along the chain found.
struct ChainCheck {
    bool intact = false;
    std::int64_t rows = 0;           // rows whose hash and link were checked, up to a break
    std::optional<ChainLink> head;   // the last row, or the anchor when every row was pruned
    std::optional<ChainLink> anchor; // the last pruned row
    // At a break: the first seq (of `station`) whose row was changed, inserted, moved or
    // deleted, and what was seen there.
    QString station;
    std::int64_t seq = 0;
    QString problem;
    QString note; // intact, but something the reader should know (a saved head pruned since)
    // Rows written before the chain existed and sealed when the journal first opened with it.
    std::int64_t sealedRows = 0;
    std::int64_t sealedAtMs = 0;
    std::optional<ChainLink> sealedUpTo;
    // The events' chain (runs and setting changes), walked beside the readings'.
    struct Events {
        bool intact = true;
        std::int64_t rows = 0; // verified, up to a break
        std::int64_t id = 0;   // at a break: the first event changed, inserted, moved or deleted
        QString problem;
    } events;
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

    // How many rows written before the chain existed this connection sealed on opening (the
    // first opening with this version seals them, in order; 0 after that).
    std::int64_t sealedOnOpen() const { return sealedOnOpen_; }

    // Appends the readings in one transaction, each with the station's next seq; `pending`
    // marks them for publishing. Returns the last seq given. Throws JournalError (nothing of
    // the group is then kept).
    std::int64_t append(std::span<const Reading> readings, const QString& station, bool pending);

    // Appends the events to their own chain in one transaction. Retention keeps them: a run
    // or a change of setting takes a few hundred bytes. Throws JournalError.
    void appendEvents(std::span<const RecordEvent> events, const QString& station);
    // Every event, in the order written.
    void forEachEvent(const std::function<void(const StoredEvent&)>& f);

    // Keeps the file and its write-ahead log on the disk within `maxBytes` together: the log
    // is checkpointed and cut back at walBound(maxBytes). The writer's connection sets it.
    void setSizeBound(std::int64_t maxBytes);
    static std::int64_t walBound(std::int64_t maxBytes);
    // True when prune() is due: the data outgrows its share of `maxBytes`, or the file and
    // its log take more than `maxBytes` on the disk.
    bool overBound(std::int64_t maxBytes);
    // The file and its -wal as they are on the disk (the small -shm index aside).
    std::int64_t diskBytes() const;

    // Deletes the readings older than `olderThanMs` (up to the first that is not: only the
    // chain's beginning goes, also after a clock set back), then the oldest ones while the data
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

    // Walks the hash chain from the anchor (or the start) to the last row and checks each
    // row's hash and its link to the row before; then the events' chain likewise. With `saved` (a head kept
    // elsewhere: its seq and hash), the chain must still hold that row, which also catches a cut tail.
    struct SavedHead {
        std::int64_t seq = 0;
        QByteArray hash;
    };
    ChainCheck verifyChain(const std::optional<SavedHead>& saved = std::nullopt);

private:
    void exec(const char* sql);
    std::int64_t pragma(const char* sql);
    bool hasColumn(const char* table, const char* column);
    sqlite3_stmt* prepare(const char* sql);
    [[noreturn]] void fail(const char* what);
    QByteArray chainTip();
    std::int64_t seal();
    std::int64_t deleteBefore(std::int64_t id);
    ChainCheck::Events verifyEvents();

    QString path_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* tip_ = nullptr;
    std::int64_t sealedOnOpen_ = 0;
};

} // namespace tarovex::journal
