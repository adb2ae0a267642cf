#include "journal/JournalDb.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarovex::journal {
namespace {

// Only the readings waiting for the broker are indexed by seq: an index fewer per insert.
// `acked`: NULL not for publishing, 0 waiting for the broker, 1 acknowledged. `reason`: why a
// dropped value was not delivered (files of the first version gain it on opening). `label`: the
// instrument's name; NULL in rows written before the column, which read back as their port,
// the name their instrument went by (the station had one instrument then). `output`: what the
// output template made of the value; NULL without one. `prev_hash` and `hash` chain the rows in
// id order (RowHash below); NULL in rows written before the chain, until the first opening
// with it seals them. chain_anchor keeps the last row that retention deleted, where the chain
// now begins; chain_sealed, when rows older than the chain were sealed. `events` holds the
// runs and the settings changed (RecordEvent.h), each column NULL where its kind has none,
// chained by their own prev_hash and hash in id order. The station
// table keeps each station's last seq, so that a seq is never given twice, also after
// retention has removed every reading of the station.
const char* const schema = R"(
CREATE TABLE IF NOT EXISTS readings(
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    station TEXT NOT NULL,
    seq INTEGER NOT NULL,
    port TEXT NOT NULL,
    instrument TEXT NOT NULL,
    line BLOB NOT NULL,
    value TEXT NOT NULL,
    outcome TEXT NOT NULL,
    acked INTEGER,
    reason TEXT NOT NULL DEFAULT '',
    label TEXT,
    output TEXT,
    prev_hash BLOB,
    hash BLOB);
CREATE INDEX IF NOT EXISTS readings_time ON readings(time);
CREATE INDEX IF NOT EXISTS readings_pending ON readings(station, seq) WHERE acked = 0;
CREATE TABLE IF NOT EXISTS stations(station TEXT PRIMARY KEY, last_seq INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS chain_anchor(only INTEGER PRIMARY KEY CHECK(only = 1), id INTEGER NOT NULL,
    station TEXT NOT NULL, seq INTEGER NOT NULL, hash BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS chain_sealed(time INTEGER NOT NULL, rows INTEGER NOT NULL, station TEXT NOT NULL,
    seq INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS events(
    id INTEGER PRIMARY KEY,
    time INTEGER NOT NULL,
    station TEXT NOT NULL,
    kind TEXT NOT NULL,
    user TEXT NOT NULL,
    host TEXT NOT NULL,
    version TEXT NOT NULL,
    label TEXT,
    port TEXT,
    instrument TEXT,
    clock_synced INTEGER,
    setting TEXT,
    old_value TEXT,
    new_value TEXT,
    prev_hash BLOB,
    hash BLOB);
)";

// The chain's start before any row was deleted.
const QByteArray noHash(32, '\0');

// The columns hashed, in this order.
const char* const hashedColumns =
    "time, station, seq, port, instrument, line, value, outcome, reason, label, output";
constexpr int hashedCount = 11;
// The events' columns hashed (their chain, apart from the readings', in the same form).
const char* const eventColumns = "time, station, kind, user, host, version, label, port, instrument, "
                                 "clock_synced, setting, old_value, new_value";
constexpr int eventCount = 13;

// A row's hash: SHA-256 over the hash of the row before it (32 bytes), then each hashed column
// as its SQLite type ('i' integer, 'r' real, 't' text, 'b' blob, 'n' NULL) followed, for an
// integer, by its 8 bytes and, for text and blob, by its length in 8 bytes and its bytes: no
// two rows share a form. Not hashed: id (the link to the row before fixes the order) and
// acked, which changes when the broker acknowledges. Through libcrypto, which uses the
// processor's SHA instructions: four times the rows per second of QCryptographicHash.
class RowHash {
public:
    RowHash() : context_(EVP_MD_CTX_new()) {
        if (!context_)
            throw JournalError("The journal's hashes cannot be computed: out of memory");
    }
    void start(QByteArrayView prev) {
        form_.resize(0);
        form_.append(prev);
    }
    void integer(std::int64_t v) {
        form_ += 'i';
        number(std::uint64_t(v));
    }
    void bytes(char type, const void* data, qsizetype n) {
        form_ += type;
        number(std::uint64_t(n));
        form_.append(static_cast<const char*>(data), n);
    }
    void null() { form_ += 'n'; }
    void column(sqlite3_stmt* s, int c) {
        switch (sqlite3_column_type(s, c)) {
        case SQLITE_INTEGER:
            integer(sqlite3_column_int64(s, c));
            break;
        case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(s, c);
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            form_ += 'r';
            number(bits);
            break;
        }
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_column_text(s, c);
            bytes('t', text, sqlite3_column_bytes(s, c));
            break;
        }
        case SQLITE_BLOB: {
            const void* blob = sqlite3_column_blob(s, c);
            bytes('b', blob, sqlite3_column_bytes(s, c));
            break;
        }
        default:
            null();
        }
    }
    // Into `out`, 32 bytes.
    void finish(char* out) {
        // Fetched once: an implicit fetch on each digest costs more than the digest.
        static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        unsigned int size = 0;
        if (!sha256 || EVP_DigestInit_ex(context_.get(), sha256, nullptr) != 1 ||
            EVP_DigestUpdate(context_.get(), form_.constData(), std::size_t(form_.size())) != 1 ||
            EVP_DigestFinal_ex(context_.get(), reinterpret_cast<unsigned char*>(out), &size) != 1 ||
            size != 32)
            throw JournalError("The journal's hashes cannot be computed: SHA-256 is not available");
    }
    QByteArray finish() {
        QByteArray hash(32, Qt::Uninitialized);
        finish(hash.data());
        return hash;
    }

private:
    void number(std::uint64_t v) {
        char b[8];
        for (int i = 7; i >= 0; --i, v >>= 8)
            b[i] = char(v & 0xff);
        form_.append(b, 8);
    }
    QByteArray form_;
    struct Free {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context_;
};

// A blob column; nothing for NULL.
std::optional<QByteArray> blob(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(s, column)),
                      sqlite3_column_bytes(s, column));
}

struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

QString text(sqlite3_stmt* s, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                             sqlite3_column_bytes(s, column));
}

void bindText(sqlite3_stmt* s, int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

StoredReading readRow(sqlite3_stmt* s) {
    StoredReading r;
    r.reading.timeMs = sqlite3_column_int64(s, 0);
    r.station = text(s, 1);
    r.seq = sqlite3_column_int64(s, 2);
    r.reading.port = text(s, 3);
    r.reading.instrument = text(s, 4);
    r.reading.line =
        QByteArray(static_cast<const char*>(sqlite3_column_blob(s, 5)), sqlite3_column_bytes(s, 5));
    r.reading.value = text(s, 6);
    r.reading.outcome = outcomeFromName(text(s, 7)).value_or(Outcome::Dropped);
    r.reading.reason = text(s, 8);
    r.reading.label = text(s, 9);
    r.reading.output = text(s, 10);
    r.hash = blob(s, 11).value_or(QByteArray());
    return r;
}

const char* const rowColumns =
    "SELECT time, station, seq, port, instrument, line, value, outcome, reason, coalesce(label, port), "
    "output, hash "
    "FROM readings ";

// The journal's folder and file must be this user's alone: another user who may change
// either could swap the readings or the file under us.
void checkOwnFolder(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        throw JournalError("The journal folder " + folder.toStdString() + " cannot be read: " + std::strerror(errno));
    if (st.st_uid != ::geteuid())
        throw JournalError("The journal folder " + folder.toStdString() + " belongs to user " +
                           std::to_string(st.st_uid) + ", not to this user");
    if ((st.st_mode & 022) != 0)
        throw JournalError("The journal folder " + folder.toStdString() +
                           " may be changed by other users; it must be writable by its owner only (chmod 700)");
}

// Creates the file with owner-only access before SQLite opens it (SQLite would use the
// umask); its -wal and -shm files take the same mode.
void createPrivateFile(const QString& path) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const bool newFolder = !QFileInfo::exists(folder);
    if (!QDir().mkpath(folder))
        throw JournalError("The journal folder " + folder.toStdString() + " cannot be created");
    if (newFolder)
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    checkOwnFolder(folder);
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        throw JournalError("The journal " + path.toStdString() +
                           " cannot be opened: " + std::strerror(errno));
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (statted && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        ::fchmod(fd, 0600);
    ::close(fd);
    if (!statted || !S_ISREG(st.st_mode))
        throw JournalError("The journal " + path.toStdString() + " is not a regular file");
    if (st.st_uid != ::geteuid())
        throw JournalError("The journal " + path.toStdString() + " belongs to user " + std::to_string(st.st_uid) +
                           ", not to this user");
}

} // namespace

QString JournalDb::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tarovex/journal.sqlite");
}

JournalDb::JournalDb(const QString& path) : path_(path) {
    createPrivateFile(path);
    try {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            fail("cannot be opened");
        sqlite3_busy_timeout(db_, 5000);
        // A new file gives the pages that retention frees back to the disk; it can only be
        // chosen before the first table.
        if (pragma("PRAGMA page_count") == 0)
            exec("PRAGMA auto_vacuum=INCREMENTAL");
        // WAL with synchronous=NORMAL: a commit is one append to the log, and a killed process
        // loses nothing committed (a power cut may lose the last commits, never the file).
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        // In one transaction, so that the writer and the publisher opening an old file at once
        // do not both add the column.
        exec("BEGIN IMMEDIATE");
        try {
            exec(schema);
            if (!hasColumn("readings", "reason"))
                exec("ALTER TABLE readings ADD COLUMN reason TEXT NOT NULL DEFAULT ''");
            // Without a default: the old rows are not rewritten, however many there are.
            if (!hasColumn("readings", "label"))
                exec("ALTER TABLE readings ADD COLUMN label TEXT");
            if (!hasColumn("readings", "output"))
                exec("ALTER TABLE readings ADD COLUMN output TEXT");
            if (!hasColumn("readings", "hash")) {
                exec("ALTER TABLE readings ADD COLUMN prev_hash BLOB");
                exec("ALTER TABLE readings ADD COLUMN hash BLOB");
            }
            tip_ = prepare("SELECT hash FROM readings ORDER BY id DESC LIMIT 1");
            if (chainTip().isNull())
                sealedOnOpen_ = seal();
            exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        insert_ = prepare("INSERT INTO readings(time, station, seq, port, instrument, line, value, outcome, "
                          "acked, reason, label, output, prev_hash, hash) "
                          "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    } catch (...) {
        // No destructor runs for a constructor that throws; closing also removes the -wal and
        // -shm files.
        sqlite3_finalize(insert_);
        sqlite3_finalize(tip_);
        insert_ = tip_ = nullptr;
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

bool JournalDb::hasColumn(const char* table, const char* column) {
    Statement s(prepare((std::string("PRAGMA table_info(") + table + ")").c_str()));
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        if (std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)), column) == 0)
            return true;
    return false;
}

std::int64_t JournalDb::pragma(const char* sql) {
    Statement s(prepare(sql));
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

JournalDb::~JournalDb() {
    sqlite3_finalize(insert_);
    sqlite3_finalize(tip_);
    sqlite3_close(db_);
}

void JournalDb::fail(const char* what) {
    throw JournalError("The journal " + path_.toStdString() + " " + what + ": " +
                       (db_ ? sqlite3_errmsg(db_) : "out of memory"));
}

void JournalDb::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string why = message ? message : "unknown error";
        sqlite3_free(message);
        throw JournalError("The journal " + path_.toStdString() + " cannot be used: " + why);
    }
}

sqlite3_stmt* JournalDb::prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
        fail("cannot be read");
    return s;
}

std::int64_t JournalDb::lastSeq(const QString& station) {
    Statement s(prepare("SELECT last_seq FROM stations WHERE station = ?"));
    bindText(s.get(), 1, station);
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

QByteArray JournalDb::chainTip() {
    const int rc = sqlite3_step(tip_);
    const QByteArray last = rc == SQLITE_ROW ? blob(tip_, 0).value_or(QByteArray()) : QByteArray();
    sqlite3_reset(tip_); // holds no read of the file open
    if (rc == SQLITE_ROW)
        return last;
    if (rc != SQLITE_DONE)
        fail("cannot be read");
    Statement anchor(prepare("SELECT hash FROM chain_anchor"));
    return sqlite3_step(anchor.get()) == SQLITE_ROW ? blob(anchor.get(), 0).value_or(noHash) : noHash;
}

std::int64_t JournalDb::seal() {
    QByteArray prev = noHash;
    std::int64_t after = std::numeric_limits<std::int64_t>::min();
    // From the end back to the last sealed row: the rows after it are sealed in order.
    Statement last(prepare("SELECT id, hash FROM readings WHERE hash IS NOT NULL ORDER BY id DESC LIMIT 1"));
    if (sqlite3_step(last.get()) == SQLITE_ROW) {
        after = sqlite3_column_int64(last.get(), 0);
        prev = *blob(last.get(), 1);
    } else {
        Statement anchor(prepare("SELECT hash FROM chain_anchor"));
        if (sqlite3_step(anchor.get()) == SQLITE_ROW)
            prev = blob(anchor.get(), 0).value_or(noHash);
    }
    Statement rows(prepare((std::string("SELECT id, station, seq, ") + hashedColumns +
                            " FROM readings WHERE id > ? ORDER BY id LIMIT 4096")
                               .c_str()));
    Statement set(prepare("UPDATE readings SET prev_hash = ?, hash = ? WHERE id = ?"));
    RowHash h;
    std::int64_t sealed = 0;
    QString station;
    std::int64_t seq = 0;
    // In batches read before they are written: no update under an open walk of the table.
    struct Sealed {
        std::int64_t id;
        QByteArray prev, hash;
    };
    std::vector<Sealed> batch;
    do {
        batch.clear();
        sqlite3_reset(rows.get());
        sqlite3_bind_int64(rows.get(), 1, after);
        int rc;
        while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
            h.start(prev);
            for (int c = 0; c < hashedCount; ++c)
                h.column(rows.get(), c + 3);
            QByteArray hash = h.finish();
            batch.push_back({sqlite3_column_int64(rows.get(), 0), prev, hash});
            station = text(rows.get(), 1);
            seq = sqlite3_column_int64(rows.get(), 2);
            prev = std::move(hash);
        }
        if (rc != SQLITE_DONE)
            fail("cannot be sealed");
        for (const Sealed& b : batch) {
            sqlite3_reset(set.get());
            sqlite3_bind_blob(set.get(), 1, b.prev.constData(), int(b.prev.size()), SQLITE_STATIC);
            sqlite3_bind_blob(set.get(), 2, b.hash.constData(), int(b.hash.size()), SQLITE_STATIC);
            sqlite3_bind_int64(set.get(), 3, b.id);
            if (sqlite3_step(set.get()) != SQLITE_DONE)
                fail("cannot be sealed");
            after = b.id;
        }
        sealed += std::int64_t(batch.size());
    } while (!batch.empty());
    if (sealed > 0) {
        Statement note(prepare("INSERT INTO chain_sealed(time, rows, station, seq) VALUES(?, ?, ?, ?)"));
        sqlite3_bind_int64(note.get(), 1, QDateTime::currentMSecsSinceEpoch());
        sqlite3_bind_int64(note.get(), 2, sealed);
        bindText(note.get(), 3, station);
        sqlite3_bind_int64(note.get(), 4, seq);
        if (sqlite3_step(note.get()) != SQLITE_DONE)
            fail("cannot be sealed");
    }
    return sealed;
}

std::int64_t JournalDb::append(std::span<const Reading> readings, const QString& station, bool pending) {
    exec("BEGIN IMMEDIATE");
    try {
        // Rows that an earlier version wrote meanwhile are sealed before the chain goes on.
        QByteArray prev = chainTip();
        if (prev.isNull()) {
            seal();
            prev = chainTip();
        }
        RowHash h;
        std::int64_t seq = lastSeq(station);
        const QByteArray stationUtf8 = station.toUtf8();
        // Port, instrument and label are the same for a run's readings: converted once per change.
        QString port, instrument, label;
        QByteArray portUtf8, instrumentUtf8, labelUtf8;
        for (const Reading& r : readings) {
            if (r.port != port)
                portUtf8 = (port = r.port).toUtf8();
            if (r.instrument != instrument)
                instrumentUtf8 = (instrument = r.instrument).toUtf8();
            if (r.label != label)
                labelUtf8 = (label = r.label).toUtf8();
            sqlite3_stmt* s = insert_;
            sqlite3_reset(s);
            sqlite3_bind_int64(s, 1, r.timeMs);
            sqlite3_bind_text(s, 2, stationUtf8.constData(), int(stationUtf8.size()), SQLITE_STATIC);
            sqlite3_bind_int64(s, 3, ++seq);
            sqlite3_bind_text(s, 4, portUtf8.constData(), int(portUtf8.size()), SQLITE_STATIC);
            sqlite3_bind_text(s, 5, instrumentUtf8.constData(), int(instrumentUtf8.size()), SQLITE_STATIC);
            sqlite3_bind_blob(s, 6, r.line.constData(), int(r.line.size()), SQLITE_STATIC);
            const QByteArray value = r.value.toUtf8();
            sqlite3_bind_text(s, 7, value.constData(), int(value.size()), SQLITE_STATIC);
            const QLatin1StringView outcome = outcomeName(r.outcome);
            sqlite3_bind_text(s, 8, outcome.data(), int(outcome.size()), SQLITE_STATIC);
            if (pending)
                sqlite3_bind_int(s, 9, 0);
            else
                sqlite3_bind_null(s, 9);
            const QByteArray reason = r.reason.toUtf8();
            sqlite3_bind_text(s, 10, reason.constData(), int(reason.size()), SQLITE_STATIC);
            sqlite3_bind_text(s, 11, labelUtf8.constData(), int(labelUtf8.size()), SQLITE_STATIC);
            const QByteArray output = r.output.toUtf8();
            if (r.output.isEmpty())
                sqlite3_bind_null(s, 12);
            else
                sqlite3_bind_text(s, 12, output.constData(), int(output.size()), SQLITE_STATIC);
            // The same values as bound, in the form RowHash::column reads them back.
            h.start(prev);
            h.integer(r.timeMs);
            h.bytes('t', stationUtf8.constData(), stationUtf8.size());
            h.integer(seq);
            h.bytes('t', portUtf8.constData(), portUtf8.size());
            h.bytes('t', instrumentUtf8.constData(), instrumentUtf8.size());
            h.bytes('b', r.line.constData(), r.line.size());
            h.bytes('t', value.constData(), value.size());
            h.bytes('t', outcome.data(), outcome.size());
            h.bytes('t', reason.constData(), reason.size());
            h.bytes('t', labelUtf8.constData(), labelUtf8.size());
            if (r.output.isEmpty())
                h.null();
            else
                h.bytes('t', output.constData(), output.size());
            const QByteArray hash = h.finish();
            sqlite3_bind_blob(s, 13, prev.constData(), int(prev.size()), SQLITE_STATIC);
            sqlite3_bind_blob(s, 14, hash.constData(), int(hash.size()), SQLITE_STATIC);
            if (sqlite3_step(s) != SQLITE_DONE)
                fail("cannot be written");
            prev = hash;
        }
        Statement up(prepare("INSERT INTO stations(station, last_seq) VALUES(?, ?) "
                             "ON CONFLICT(station) DO UPDATE SET last_seq = excluded.last_seq"));
        bindText(up.get(), 1, station);
        sqlite3_bind_int64(up.get(), 2, seq);
        if (sqlite3_step(up.get()) != SQLITE_DONE)
            fail("cannot be written");
        exec("COMMIT");
        return seq;
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void JournalDb::appendEvents(std::span<const RecordEvent> events, const QString& station) {
    exec("BEGIN IMMEDIATE");
    try {
        QByteArray prev = noHash;
        Statement last(prepare("SELECT hash FROM events ORDER BY id DESC LIMIT 1"));
        if (sqlite3_step(last.get()) == SQLITE_ROW)
            prev = blob(last.get(), 0).value_or(noHash);
        last.reset();
        Statement insert(prepare("INSERT INTO events(time, station, kind, user, host, version, label, port, "
                                 "instrument, clock_synced, setting, old_value, new_value) "
                                 "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        // The hash is taken from the row as stored, so that it is the form a verification reads.
        Statement stored(
            prepare((std::string("SELECT ") + eventColumns + " FROM events WHERE id = ?").c_str()));
        Statement set(prepare("UPDATE events SET prev_hash = ?, hash = ? WHERE id = ?"));
        const auto textOrNull = [](sqlite3_stmt* s, int index, const QString& value, bool present) {
            if (present)
                bindText(s, index, value);
            else
                sqlite3_bind_null(s, index);
        };
        RowHash h;
        for (const RecordEvent& e : events) {
            const bool run = e.kind == RecordEvent::Kind::Run;
            sqlite3_stmt* s = insert.get();
            sqlite3_reset(s);
            sqlite3_bind_int64(s, 1, e.timeMs);
            bindText(s, 2, station);
            const QLatin1StringView kind = eventKindName(e.kind);
            sqlite3_bind_text(s, 3, kind.data(), int(kind.size()), SQLITE_STATIC);
            bindText(s, 4, e.user);
            bindText(s, 5, e.host);
            bindText(s, 6, e.version);
            textOrNull(s, 7, e.label, run);
            textOrNull(s, 8, e.port, run);
            textOrNull(s, 9, e.instrument, run);
            if (run && e.clockSynchronised)
                sqlite3_bind_int(s, 10, *e.clockSynchronised ? 1 : 0);
            else
                sqlite3_bind_null(s, 10);
            textOrNull(s, 11, e.setting, !run);
            textOrNull(s, 12, e.oldValue, !run);
            textOrNull(s, 13, e.newValue, !run);
            if (sqlite3_step(s) != SQLITE_DONE)
                fail("cannot be written");
            const std::int64_t id = sqlite3_last_insert_rowid(db_);
            sqlite3_reset(stored.get());
            sqlite3_bind_int64(stored.get(), 1, id);
            if (sqlite3_step(stored.get()) != SQLITE_ROW)
                fail("cannot be written");
            h.start(prev);
            for (int c = 0; c < eventCount; ++c)
                h.column(stored.get(), c);
            const QByteArray hash = h.finish();
            sqlite3_reset(stored.get());
            sqlite3_reset(set.get());
            sqlite3_bind_blob(set.get(), 1, prev.constData(), int(prev.size()), SQLITE_STATIC);
            sqlite3_bind_blob(set.get(), 2, hash.constData(), int(hash.size()), SQLITE_STATIC);
            sqlite3_bind_int64(set.get(), 3, id);
            if (sqlite3_step(set.get()) != SQLITE_DONE)
                fail("cannot be written");
            prev = hash;
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void JournalDb::forEachEvent(const std::function<void(const StoredEvent&)>& f) {
    Statement s(
        prepare((std::string("SELECT ") + eventColumns + ", id, hash FROM events ORDER BY id").c_str()));
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        StoredEvent e;
        RecordEvent& r = e.event;
        r.timeMs = sqlite3_column_int64(s.get(), 0);
        e.station = text(s.get(), 1);
        r.kind = text(s.get(), 2) == u"setting" ? RecordEvent::Kind::Setting : RecordEvent::Kind::Run;
        r.user = text(s.get(), 3);
        r.host = text(s.get(), 4);
        r.version = text(s.get(), 5);
        r.label = text(s.get(), 6);
        r.port = text(s.get(), 7);
        r.instrument = text(s.get(), 8);
        if (sqlite3_column_type(s.get(), 9) != SQLITE_NULL)
            r.clockSynchronised = sqlite3_column_int(s.get(), 9) != 0;
        r.setting = text(s.get(), 10);
        r.oldValue = text(s.get(), 11);
        r.newValue = text(s.get(), 12);
        e.id = sqlite3_column_int64(s.get(), 13);
        e.hash = blob(s.get(), 14).value_or(QByteArray());
        f(e);
    }
    if (rc != SQLITE_DONE)
        fail("cannot be read");
}

ChainCheck::Events JournalDb::verifyEvents() {
    ChainCheck::Events c;
    Statement s(prepare(
        (std::string("SELECT ") + eventColumns + ", prev_hash, hash, id FROM events ORDER BY id").c_str()));
    QByteArray prev = noHash;
    RowHash h;
    std::int64_t lastId = 0;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        h.start(prev);
        for (int col = 0; col < eventCount; ++col)
            h.column(s.get(), col);
        const QByteArray computed = h.finish();
        const std::int64_t id = sqlite3_column_int64(s.get(), eventCount + 2);
        const std::optional<QByteArray> storedPrev = blob(s.get(), eventCount);
        const std::optional<QByteArray> stored = blob(s.get(), eventCount + 1);
        QString problem;
        if (!stored)
            problem = QStringLiteral("it has no hash: it was written around the chain");
        else if (storedPrev != prev)
            problem =
                QStringLiteral("it does not link to the event before: an event was deleted, inserted or "
                               "moved here");
        else if (*stored != computed)
            problem = QStringLiteral("it does not match its hash: it was changed");
        if (!problem.isEmpty()) {
            c.intact = false;
            // Ids are given in order: a gap before this one is the event deleted.
            c.id = storedPrev != prev && lastId > 0 && id > lastId + 1 ? lastId + 1 : id;
            c.problem = problem;
            return c;
        }
        prev = computed;
        lastId = id;
        ++c.rows;
    }
    if (rc != SQLITE_DONE)
        fail("cannot be read");
    return c;
}

std::int64_t JournalDb::walBound(std::int64_t maxBytes) {
    return std::clamp<std::int64_t>(maxBytes / 8, 64 << 10, 16 << 20);
}

void JournalDb::setSizeBound(std::int64_t maxBytes) {
    // The log is checkpointed into the file once it holds walBound, and cut back to that
    // size afterwards; it would otherwise keep the largest size it ever reached.
    const std::int64_t wal = walBound(maxBytes);
    const std::int64_t pages = std::max<std::int64_t>(16, std::min<std::int64_t>(1000, wal / pragma("PRAGMA page_size")));
    exec(("PRAGMA wal_autocheckpoint=" + std::to_string(pages)).c_str());
    exec(("PRAGMA journal_size_limit=" + std::to_string(wal)).c_str());
}

std::int64_t JournalDb::diskBytes() const {
    std::int64_t total = 0;
    for (const QString& file : {path_, path_ + QStringLiteral("-wal")}) {
        struct stat st {};
        if (::stat(QFile::encodeName(file).constData(), &st) == 0)
            total += st.st_size;
    }
    return total;
}

bool JournalDb::overBound(std::int64_t maxBytes) {
    // The file's size after the next checkpoint, and what is on the disk now.
    return pragma("PRAGMA page_count") * pragma("PRAGMA page_size") > maxBytes - walBound(maxBytes) ||
           diskBytes() > maxBytes;
}

std::int64_t JournalDb::deleteBefore(std::int64_t id) {
    // With the anchor in one transaction: the chain goes on from the last row deleted.
    exec("BEGIN IMMEDIATE");
    try {
        if (chainTip().isNull())
            seal();
        Statement last(
            prepare("SELECT id, station, seq, hash FROM readings WHERE id < ? ORDER BY id DESC LIMIT 1"));
        sqlite3_bind_int64(last.get(), 1, id);
        std::int64_t deleted = 0;
        if (sqlite3_step(last.get()) == SQLITE_ROW) {
            Statement anchor(prepare("INSERT OR REPLACE INTO chain_anchor(only, id, station, seq, hash) "
                                     "VALUES(1, ?, ?, ?, ?)"));
            for (int c = 0; c < 4; ++c)
                sqlite3_bind_value(anchor.get(), c + 1, sqlite3_column_value(last.get(), c));
            if (sqlite3_step(anchor.get()) != SQLITE_DONE)
                fail("cannot be pruned");
            Statement rows(prepare("DELETE FROM readings WHERE id < ?"));
            sqlite3_bind_int64(rows.get(), 1, id);
            if (sqlite3_step(rows.get()) != SQLITE_DONE)
                fail("cannot be pruned");
            deleted = sqlite3_changes64(db_);
        }
        exec("COMMIT");
        return deleted;
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::int64_t JournalDb::prune(std::int64_t olderThanMs, std::int64_t maxBytes) {
    // The first row kept: the first that `where` allows after skipping `offset`; past the
    // last row when there is none.
    const auto firstKept = [this](const char* where, std::int64_t bound, std::int64_t offset) {
        Statement s(prepare((std::string("SELECT coalesce((SELECT id FROM readings ") + where +
                             " ORDER BY id LIMIT 1 OFFSET ?2), (SELECT max(id) + 1 FROM readings), 0)")
                                .c_str()));
        sqlite3_bind_int64(s.get(), 1, bound);
        sqlite3_bind_int64(s.get(), 2, offset);
        return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
    };
    // The oldest readings up to the first that is not: only the chain's beginning goes. The
    // unary + keeps the walk in id order rather than through the time index.
    std::int64_t deleted = deleteBefore(firstKept("WHERE +time >= ?1", olderThanMs, 0));

    // The file holds the data, the log up to walBound between checkpoints.
    const std::int64_t pageSize = pragma("PRAGMA page_size");
    const std::int64_t dataBound = maxBytes - walBound(maxBytes);
    // Down to 90 % of the bound, so that the next prune does not follow at once. The rows'
    // share of the pages is an estimate (indexes, the station table): measured again. The id
    // range stands for the count, which would read the whole table.
    for (int round = 0; round < 8; ++round) {
        const std::int64_t used = (pragma("PRAGMA page_count") - pragma("PRAGMA freelist_count")) * pageSize;
        const std::int64_t rows = pragma("SELECT coalesce(max(id) - min(id) + 1, 0) FROM readings");
        if (used <= dataBound || rows == 0)
            break;
        const std::int64_t excess = used - dataBound * 9 / 10;
        deleted +=
            deleteBefore(firstKept("WHERE ?1 = ?1", 0, std::max<std::int64_t>(1, rows * excess / used + 1)));
    }

    // Freed pages go back to the disk. A file of the first version has no auto_vacuum: it is
    // rewritten with it once, when it is larger than the bound (VACUUM, which needs the
    // file's size again for a moment); under the bound it reuses its free pages.
    if (pragma("PRAGMA auto_vacuum") != 0) {
        exec("PRAGMA incremental_vacuum");
    } else if (pragma("PRAGMA page_count") * pageSize > dataBound) {
        exec("PRAGMA auto_vacuum=INCREMENTAL");
        exec("VACUUM");
    }
    // TRUNCATE waits (busy timeout) for a reader such as the publisher to let go, so that the
    // log is emptied and the file cut to its data; busy only puts it off to the next prune.
    const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
        fail("cannot be checkpointed");
    return deleted;
}

void JournalDb::forEach(std::int64_t fromMs, std::int64_t toMs,
                        const std::function<void(const StoredReading&)>& f) {
    Statement s(prepare((std::string(rowColumns) + "WHERE time >= ? AND time < ? ORDER BY id").c_str()));
    sqlite3_bind_int64(s.get(), 1, fromMs);
    sqlite3_bind_int64(s.get(), 2, toMs);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        f(readRow(s.get()));
    if (rc != SQLITE_DONE)
        fail("cannot be read");
}

std::vector<StoredReading> JournalDb::pending(const QString& station, std::int64_t afterSeq, int limit) {
    Statement s(
        prepare((std::string(rowColumns) + "WHERE station = ? AND acked = 0 AND seq > ? ORDER BY seq LIMIT ?")
                    .c_str()));
    bindText(s.get(), 1, station);
    sqlite3_bind_int64(s.get(), 2, afterSeq);
    sqlite3_bind_int(s.get(), 3, limit);
    std::vector<StoredReading> result;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        result.push_back(readRow(s.get()));
    if (rc != SQLITE_DONE)
        fail("cannot be read");
    return result;
}

std::int64_t JournalDb::pendingCount(const QString& station) {
    Statement s(prepare("SELECT count(*) FROM readings WHERE station = ? AND acked = 0"));
    bindText(s.get(), 1, station);
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

void JournalDb::markPublished(const QString& station, std::span<const std::int64_t> seqs) {
    exec("BEGIN IMMEDIATE");
    try {
        Statement s(prepare("UPDATE readings SET acked = 1 WHERE station = ? AND seq = ? AND acked = 0"));
        bindText(s.get(), 1, station);
        for (const std::int64_t seq : seqs) {
            sqlite3_reset(s.get());
            sqlite3_bind_int64(s.get(), 2, seq);
            if (sqlite3_step(s.get()) != SQLITE_DONE)
                fail("cannot be written");
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::int64_t JournalDb::count() {
    Statement s(prepare("SELECT count(*) FROM readings"));
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

QString JournalDb::integrityCheck() {
    Statement s(prepare("PRAGMA integrity_check"));
    return sqlite3_step(s.get()) == SQLITE_ROW ? text(s.get(), 0) : QStringLiteral("no answer");
}

} // namespace tarovex::journal

namespace tarovex::journal {

ChainCheck JournalDb::verifyChain(const std::optional<SavedHead>& saved) {
    ChainCheck c;
    // One read transaction: a consistent view while a recorder goes on writing.
    exec("BEGIN");
    struct End {
        sqlite3* db;
        ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end{db_};
    const auto link = [](sqlite3_stmt* s, int column) {
        return ChainLink{text(s, column), sqlite3_column_int64(s, column + 1),
                         blob(s, column + 2).value_or(QByteArray())};
    };
    {
        Statement anchor(prepare("SELECT station, seq, hash FROM chain_anchor"));
        if (sqlite3_step(anchor.get()) == SQLITE_ROW)
            c.anchor = link(anchor.get(), 0);
        Statement sealed(prepare("SELECT sum(rows), max(time), station, seq FROM chain_sealed"));
        if (sqlite3_step(sealed.get()) == SQLITE_ROW && sqlite3_column_type(sealed.get(), 0) != SQLITE_NULL) {
            c.sealedRows = sqlite3_column_int64(sealed.get(), 0);
            c.sealedAtMs = sqlite3_column_int64(sealed.get(), 1);
            c.sealedUpTo = link(sealed.get(), 2);
        }
    }
    Statement s(prepare(
        (std::string("SELECT ") + hashedColumns + ", prev_hash, hash FROM readings ORDER BY id").c_str()));
    QByteArray prev = c.anchor ? c.anchor->hash : noHash;
    char computed[32];
    bool savedFound = saved && c.anchor && c.anchor->hash == saved->hash;
    std::optional<std::int64_t> firstSeq;
    std::int64_t headSeq = 0;
    // Each station's last seq so far: a break is named by the seq that should have come.
    QHash<QByteArray, std::int64_t> lastSeen;
    QByteArray station;
    std::int64_t* seen = nullptr;
    RowHash h;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        h.start(prev);
        for (int col = 0; col < hashedCount; ++col)
            h.column(s.get(), col);
        const QByteArrayView rowStation(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1)),
                                        sqlite3_column_bytes(s.get(), 1));
        const std::int64_t seq = sqlite3_column_int64(s.get(), 2);
        if (!seen || rowStation != station) {
            station = rowStation.toByteArray();
            auto it = lastSeen.find(station);
            seen = it == lastSeen.end() ? nullptr : &*it;
        }
        // Views of the row's bytes: no copy per row.
        const auto view = [&s](int column) {
            return QByteArrayView(static_cast<const char*>(sqlite3_column_blob(s.get(), column)),
                                  sqlite3_column_bytes(s.get(), column));
        };
        const bool sealed = sqlite3_column_type(s.get(), hashedCount + 1) != SQLITE_NULL;
        const QByteArrayView storedPrev = view(hashedCount), stored = view(hashedCount + 1);
        h.finish(computed);
        QString problem;
        if (!sealed)
            problem = QStringLiteral("its row has no hash: it was written around the chain");
        else if (storedPrev != prev)
            problem =
                QStringLiteral("its row does not link to the row before: a row was deleted, inserted or "
                               "moved here");
        else if (stored != QByteArrayView(computed, 32))
            problem = QStringLiteral("its row does not match its hash: it was changed");
        if (!problem.isEmpty()) {
            c.station = QString::fromUtf8(station);
            c.seq = seq;
            // A row missing or moved shows at the next row that is there.
            if (seen && seq != *seen + 1) {
                c.seq = std::min(seq, *seen + 1);
                if (c.seq != seq)
                    problem =
                        QStringLiteral("seq %1 of the station is not where it belongs (seq %2 is there): "
                                       "it was deleted or moved")
                            .arg(c.seq)
                            .arg(seq);
            }
            c.problem = problem;
            c.events = verifyEvents();
            return c;
        }
        if (!seen)
            seen = &*lastSeen.insert(station, seq);
        *seen = seq;
        if (!firstSeq)
            firstSeq = seq;
        prev.resize(32);                        // an anchor of another size has failed the check above
        std::memcpy(prev.data(), computed, 32); // the same as stored
        if (saved && prev == saved->hash)
            savedFound = true;
        ++c.rows;
        headSeq = seq;
    }
    if (rc != SQLITE_DONE)
        fail("cannot be read");
    c.head = c.rows > 0 ? ChainLink{QString::fromUtf8(station), headSeq, prev} : c.anchor;
    c.intact = true;
    c.events = verifyEvents();
    if (saved && !savedFound) {
        // Seqs of the station of the last row: the one a saved head names.
        const std::int64_t last = c.head ? c.head->seq : 0;
        c.station = c.head ? c.head->station : QString();
        if (saved->seq > last) {
            c.intact = false;
            c.seq = last + 1;
            c.problem =
                QStringLiteral("the saved head, seq %1, is not in the journal, whose rows end at seq %2: "
                               "the rows after it were deleted")
                    .arg(saved->seq)
                    .arg(last);
        } else if (c.anchor && (!firstSeq || saved->seq < *firstSeq)) {
            c.note =
                QStringLiteral("the saved head, seq %1, was pruned since; the chain was checked from its "
                               "anchor")
                    .arg(saved->seq);
        } else {
            c.intact = false;
            c.seq = saved->seq;
            c.problem =
                QStringLiteral("its row does not carry the saved head's hash: the chain was rewritten up "
                               "to there");
        }
    }
    return c;
}

} // namespace tarovex::journal
