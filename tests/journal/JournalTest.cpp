#include "journal/Attribution.h"
#include "journal/ExportFormat.h"
#include "journal/ExportTask.h"
#include "journal/JournalDb.h"
#include "journal/JournalExport.h"
#include "journal/RunRecorder.h"
#include "journal/Sinks.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>

using namespace tarovex::journal;

namespace {

const std::int64_t t0 = 1'765'000'000'000; // 2025-12-06T05:46:40Z

Reading reading(std::int64_t time, QString value, Outcome outcome = Outcome::Typed,
                QByteArray line = "ST,GS,+  1.00 g\r\n") {
    return {time, "/dev/ttyUSB0", "GENERIC", std::move(line), std::move(value), outcome};
}

std::vector<StoredReading> all(JournalDb& db) {
    std::vector<StoredReading> out;
    db.forEach([&](const StoredReading& s) { out.push_back(s); });
    return out;
}

// RFC 4180 rows of a whole CSV text.
std::vector<QStringList> parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    std::vector<QStringList> rows(1);
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            rows.back().append(std::exchange(field, {}));
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            rows.back().append(std::exchange(field, {}));
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    rows.pop_back(); // after the last CRLF
    return rows;
}

// The record's messages, from any thread; every one needs the user's attention.
class Reports : public tarovex::reading::EventLog {
public:
    void logImportantEvent(const QString& m) override {
        const std::lock_guard lock(mutex_);
        reports_ << m;
    }
    void logEvent(const QString& m) override { ADD_FAILURE() << "not marked important: " << m.toStdString(); }
    QStringList list() const {
        const std::lock_guard lock(mutex_);
        return reports_;
    }

private:
    mutable std::mutex mutex_;
    QStringList reports_;
};

// The messages but the clock's warning, which depends on the machine.
QStringList withoutClock(QStringList messages) {
    messages.removeIf([](const QString& m) { return m.startsWith("The clock of this computer"); });
    return messages;
}

class Journal : public testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.path() + "/data/tarovex/journal.sqlite";
};

} // namespace

TEST_F(Journal, EveryOutcomeIsRecordedThroughTheRecordThreadWithSeqAndBytes) {
    const Outcome outcomes[] = {Outcome::Typed,    Outcome::Printed, Outcome::Filtered,
                                Outcome::Unstable, Outcome::Dropped, Outcome::Error};
    {
        std::vector<std::unique_ptr<RecordSink>> sinks;
        sinks.push_back(std::make_unique<JournalSink>(std::make_unique<JournalDb>(path),
                                                      JournalSink::Options{.station = "S1"}, nullptr));
        RecordThread thread(std::move(sinks));
        for (int i = 0; i < 6; ++i) {
            Reading r = reading(t0 + i, QString::number(i), outcomes[i], QByteArray("\xb5\x00 g\r", 5));
            if (outcomes[i] == Outcome::Dropped)
                r.reason = "focus changed";
            thread.append(std::move(r));
        }
    } // the destructor writes what is queued
    JournalDb db(path);
    const auto rows = all(db);
    ASSERT_EQ(rows.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rows[i].reading.outcome, outcomes[i]);
        EXPECT_EQ(outcomeFromName(QString(outcomeName(outcomes[i]))), outcomes[i]);
        EXPECT_EQ(rows[i].seq, i + 1);
        EXPECT_EQ(rows[i].station, "S1");
        EXPECT_EQ(rows[i].reading.timeMs, t0 + i);
        EXPECT_EQ(rows[i].reading.line, QByteArray("\xb5\x00 g\r", 5));
        EXPECT_EQ(rows[i].reading.value, QString::number(i));
        EXPECT_EQ(rows[i].reading.reason, outcomes[i] == Outcome::Dropped ? "focus changed" : "");
    }
    const auto mode = [](const QString& p) {
        struct stat st {};
        return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? st.st_mode & 0777 : 0xFFFFu;
    };
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(QFileInfo(path).absolutePath()), 0700u);
}

// The journal's folder and file are this user's alone, or the journal is refused with the reason.
TEST_F(Journal, FolderOrFileThatOthersMayChangeIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to another user";
    const uid_t nobody = 65534;
    const QString folder = QFileInfo(path).absolutePath();
    const QByteArray nativeFolder = QFile::encodeName(folder), nativeFile = QFile::encodeName(path);
    struct Row {
        const char* what;
        uid_t folderOwner;
        mode_t folderMode;
        std::optional<uid_t> fileOwner; // nothing: a link to a file of ours
        QByteArray error;               // empty: opens
    } const rows[] = {
        {"own folder and file", 0, 0700, 0u, {}},
        {"folder of another user", nobody, 0700, 0u, "folder " + folder.toUtf8() + " belongs to user 65534"},
        {"folder writable by its group", 0, 0770, 0u, "may be changed by other users"},
        {"folder writable by everyone", 0, 0777, 0u, "may be changed by other users"},
        {"file of another user", 0, 0700, nobody, "belongs to user 65534, not to this user"},
        {"file is a link", 0, 0700, std::nullopt, "cannot be opened"},
    };
    for (const Row& r : rows) {
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        if (r.fileOwner) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.close();
            ASSERT_EQ(::chown(nativeFile.constData(), *r.fileOwner, *r.fileOwner), 0);
        } else {
            ASSERT_EQ(::symlink(QFile::encodeName(dir.path() + "/elsewhere").constData(), nativeFile.constData()), 0);
        }
        ASSERT_EQ(::chown(nativeFolder.constData(), r.folderOwner, r.folderOwner), 0);
        ASSERT_EQ(::chmod(nativeFolder.constData(), r.folderMode), 0);
        if (r.error.isEmpty()) {
            EXPECT_NO_THROW(JournalDb db(path)) << r.what;
            continue;
        }
        try {
            JournalDb db(path);
            ADD_FAILURE() << r.what << " was opened";
        } catch (const JournalError& e) {
            EXPECT_THAT(e.what(), testing::HasSubstr(r.error.toStdString())) << r.what;
        }
    }
}

// A journal that fails part way through opening lets go of its file: no descriptor stays
// open and no -wal or -shm file is left.
TEST_F(Journal, AJournalThatFailsToOpenLeavesNothingOpen) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ::chmod(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), 0700);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE readings(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    EXPECT_THROW(JournalDb db(path), JournalError);
    EXPECT_FALSE(QFileInfo::exists(path + "-wal"));
    EXPECT_FALSE(QFileInfo::exists(path + "-shm"));
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        EXPECT_FALSE(fd.symLinkTarget().startsWith(path)) << fd.symLinkTarget().toStdString();
}

TEST_F(Journal, SeqGoesOnPerStationAcrossReopeningAndRetention) {
    {
        JournalDb db(path);
        const Reading three[] = {reading(t0, "a"), reading(t0, "b"), reading(t0, "c")};
        EXPECT_EQ(db.append(three, "S1", false), 3);
        EXPECT_EQ(db.append(std::span(three, 1), "S2", false), 1);
        db.prune(t0 + 1, std::int64_t(1) << 40); // every reading goes
        EXPECT_EQ(db.count(), 0);
    }
    JournalDb db(path);
    const Reading one[] = {reading(t0, "d")};
    EXPECT_EQ(db.append(one, "S1", false), 4);
}

// The instruments of one station each have a run and a recorder with its own connection,
// all writing at once: the station's seq stays one gap-free stream, each reading with its
// own, in the order each run recorded them.
TEST_F(Journal, RecordersOfOneStationWritingAtOnceGiveEveryReadingItsOwnSeq) {
    constexpr int perRun = 400;
    for (const int runs : {2, 4}) {
        const QString journal = dir.path() + QStringLiteral("/%1/journal.sqlite").arg(runs);
        Reports log;
        {
            std::vector<std::unique_ptr<RunRecorder>> recorders;
            for (int r = 0; r < runs; ++r) {
                tarovex::config::Config config;
                config.setPort(QStringLiteral("/dev/ttyUSB%1").arg(r));
                config.label =
                    r == 0 ? QString() : QStringLiteral("instrument %1").arg(r); // the first has none
                config.record.station = "S";
                recorders.push_back(std::make_unique<RunRecorder>(config, &log, journal));
            }
            // Stamped now: a recorder's start-up retention would prune older readings.
            const auto now = std::chrono::system_clock::now();
            {
                std::vector<std::jthread> threads;
                for (int r = 0; r < runs; ++r)
                    threads.emplace_back([&, r] {
                        // Small groups, so that the recorders' transactions interleave.
                        for (int i = 0; i < perRun; ++i) {
                            recorders[r]->record(
                                tarovex::reading::DataLine("1\r", QString::number(i), i, now, false),
                                Outcome::Typed);
                            if (i % 5 == 4)
                                recorders[r]->flush();
                        }
                    });
            }
        }
        EXPECT_EQ(withoutClock(log.list()), QStringList());
        JournalDb db(journal);
        std::map<QString, int> next; // label -> the value its next reading must have
        std::int64_t seq = 0;
        for (const StoredReading& s : all(db)) {
            EXPECT_EQ(s.seq, ++seq);
            EXPECT_EQ(s.reading.value, QString::number(next[s.reading.label]++))
                << s.reading.label.toStdString();
        }
        EXPECT_EQ(seq, runs * perRun);
        EXPECT_EQ(db.lastSeq("S"), runs * perRun);
        ASSERT_EQ(next.size(), std::size_t(runs));
        EXPECT_EQ(next.begin()->first, "/dev/ttyUSB0"); // the unlabelled instrument goes by its port
    }
}

TEST_F(Journal, RetentionDropsOldReadingsThenTheOldestBeyondTheSizeBound) {
    JournalDb db(path);
    std::vector<Reading> group;
    for (int day = 0; day < 10; ++day)
        group.push_back(reading(t0 + day * 86'400'000LL, QString::number(day)));
    db.append(group, "S", false);
    const ChainCheck before = db.verifyChain();
    EXPECT_EQ(db.prune(t0 + 7 * 86'400'000LL, std::int64_t(1) << 40), 7);
    EXPECT_EQ(all(db).front().reading.value, "7");
    const ChainCheck pruned = db.verifyChain({{10, before.head->hash}});
    EXPECT_TRUE(pruned.intact) << pruned.problem.toStdString();
    EXPECT_EQ(pruned.rows, 3);
    EXPECT_EQ(pruned.anchor->seq, 7);
    EXPECT_EQ(db.verifyChain({{1, QByteArray(32, 'x')}}).note.isEmpty(), false)
        << "a saved head pruned since";

    // 4,000 readings of about 1 KiB, bounded to 1 MiB: the newest stay, the data fits.
    group.clear();
    for (int i = 0; i < 4000; ++i)
        group.push_back(reading(t0 + 9 * 86'400'000LL, QString::number(i) + QString(1000, u'x')));
    db.append(group, "S", false);
    db.prune(0, 1 << 20);
    const auto rows = all(db);
    EXPECT_LT(rows.size(), 1100u);
    EXPECT_GT(rows.size(), 500u);
    EXPECT_TRUE(rows.back().reading.value.startsWith("3999x"));
    EXPECT_EQ(db.integrityCheck(), "ok");
    const ChainCheck bounded = db.verifyChain();
    EXPECT_TRUE(bounded.intact) << bounded.problem.toStdString();
    EXPECT_EQ(bounded.rows, std::int64_t(rows.size()));
    EXPECT_EQ(bounded.anchor->seq, rows.front().seq - 1);

    // A clock set back: retention by age stops at the first reading it keeps.
    const Reading late[] = {reading(t0, "set back"), reading(t0 + 10 * 86'400'000LL, "after")};
    db.append(late, "S", false);
    db.prune(t0 + 86'400'000LL, std::int64_t(1) << 40);
    EXPECT_EQ(all(db).back().reading.value, "after");
    EXPECT_EQ(all(db).end()[-2].reading.value, "set back");
    EXPECT_TRUE(db.verifyChain().intact);
}

// What a spreadsheet would evaluate is written as text; numbers stay numbers.
TEST(JournalCsv, ACellASpreadsheetWouldEvaluateIsWrittenAsText) {
    const std::pair<QString, QString> cells[] = {
        {"=1+2", "'=1+2"},       {"@SUM(A1)", "'@SUM(A1)"}, {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-x", "'-x"},           {"\t=1", "'\t=1"},        {"-12.50", "-12.50"},
        {"+0012,5", "+0012,5"},  {"-1e3", "-1e3"},          {"12=3", "12=3"},
        {"", ""},
    };
    for (const auto& [value, written] : cells) {
        const QByteArray row = csvRow(reading(t0, value), "S", std::nullopt, CsvEnd::Outcome);
        EXPECT_EQ(parseCsv(row)[0][5], written) << value.toStdString();
    }
}

TEST_F(Journal, ExportRoundTripsAwkwardValuesAsCsvAndJson) {
    const QString values[] = {"1,5 kg", "say \"hi\"", "Gewicht: 12,5 µg ±0,1 — ok", "two\r\nlines", "", "😀"};
    JournalDb db(path);
    std::vector<Reading> group;
    for (int i = 0; i < 6; ++i)
        group.push_back(reading(t0 + i * 1000, values[i], Outcome::Printed, QByteArray("\x02+1,5\"kg\r\n")));
    group[4].outcome = Outcome::Dropped;
    group[4].reason = "typing failed";
    for (Reading& r : group)
        r.label = "Waage \"links\", 2";
    group[1].output = "{{say}}{TAB}";
    group.push_back(reading(t0 + 60'000, "outside the range"));
    db.append(group, "Wägeplatz, 2", false);

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    EXPECT_EQ(exportJournal(db, t0, t0 + 60'000, ExportFormat::Csv, csv), 6);
    const auto rows = parseCsv(csv.data());
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], QStringList({"time", "station", "port", "instrument", "line", "value", "outcome",
                                    "seq", "reason", "label", "output", "hash"}));
    const auto stored = all(db);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(rows[i + 1],
                  QStringList({isoTime(t0 + i * 1000), "Wägeplatz, 2", "/dev/ttyUSB0", "GENERIC",
                               "<2>+1,5\"kg<13><10>", values[i], i == 4 ? "dropped" : "printed",
                               QString::number(i + 1), i == 4 ? "typing failed" : "", "Waage \"links\", 2",
                               i == 1 ? "{{say}}{TAB}" : "", QString::fromLatin1(stored[i].hash.toHex())}));
    EXPECT_EQ(rows[1][0], "2025-12-06T05:46:40.000Z");

    QBuffer json;
    json.open(QIODevice::WriteOnly);
    EXPECT_EQ(exportJournal(db, t0, t0 + 60'000, ExportFormat::Json, json), 6);
    const QList<QByteArray> lines = json.data().split('\n');
    ASSERT_EQ(lines.size(), 7); // and an empty one after the last newline
    for (int i = 0; i < 6; ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
        EXPECT_EQ(o["value"].toString(), values[i]);
        EXPECT_EQ(o["seq"].toInteger(), i + 1);
        EXPECT_EQ(o["station"].toString(), "Wägeplatz, 2");
        EXPECT_EQ(o["reason"].toString(), i == 4 ? "typing failed" : "");
        EXPECT_EQ(o["label"].toString(), "Waage \"links\", 2");
        EXPECT_EQ(o["output"].toString(), i == 1 ? "{{say}}{TAB}" : "");
        EXPECT_EQ(o["hash"].toString(), QString::fromLatin1(stored[i].hash.toHex()));
    }
}

TEST_F(Journal, LiveCsvFileFillsThePatternAppendsAndReportsAFailureOnce) {
    const QDateTime local(QDate(2026, 3, 9), QTime(7, 5));
    const std::pair<QString, QString> patterns[] = {
        {"/r/%Y-%m-%d.csv", "/r/2026-03-09.csv"}, {"/r/%H%%%q.csv", "/r/07%%q.csv"}, {"/r/x%", "/r/x%"}};
    for (const auto& [pattern, expected] : patterns)
        EXPECT_EQ(LiveCsvFile::expand(pattern, local), expected) << pattern.toStdString();
    EXPECT_EQ(LiveCsvFile::expand("~/a.csv", local), QDir::homePath() + "/a.csv");

    Reports log;
    LiveCsvFile csv(dir.path() + "/csv/%Y.csv", "S", &log);
    const Reading first[] = {reading(t0, "1,5")};
    const Reading second[] = {reading(t0 + 1, "2")};
    csv.write(first);
    csv.write(second);
    QFile written(dir.path() + "/csv/2025.csv");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const auto rows = parseCsv(written.readAll());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].size(), 10);
    EXPECT_EQ(rows[1][5], "1,5");
    EXPECT_EQ(rows[2][5], "2");

    LiveCsvFile blocked(dir.path() + "/csv/2025.csv/inside.csv", "S", &log);
    blocked.write(first);
    blocked.write(second);
    const QStringList reports = log.list();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("inside.csv cannot be written")) << reports[0].toStdString();
}

TEST_F(Journal, LiveCsvFileBegunByAnEarlierVersionKeepsItsColumns) {
    const QStringList columns = {"time",  "station", "port",   "instrument", "line",
                                 "value", "outcome", "reason", "label",      "output"};
    const QByteArray row = "2025-12-06T05:46:40.000Z,S,/dev/ttyUSB0,GENERIC,1<13>,1,typed";
    const struct {
        QByteArray before;
        qsizetype columns;
    } cases[] = {
        {"", 10},
        {"time,station,port,instrument,line,value,outcome\r\n" + row + "\r\n", 7},
        {"time,station,port,instrument,line,value,outcome,reason\r\n" + row + ",\r\n", 8},
        {"time,station,port,instrument,line,value,outcome,reason,label\r\n" + row + ",,\r\n", 9},
    };
    for (const auto& c : cases) {
        const QString path = dir.path() + "/live.csv";
        QFile::remove(path);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.before);
        f.close();
        Reading dropped = reading(t0, "2,5", Outcome::Dropped);
        dropped.reason = "queue full";
        dropped.label = "balance";
        dropped.output = "2,5{ENTER}";
        LiveCsvFile(path, "S", nullptr).write(std::span(&dropped, 1));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const auto rows = parseCsv(f.readAll());
        f.close();
        ASSERT_GE(rows.size(), 2u);
        EXPECT_EQ(rows.front(), columns.first(c.columns));
        for (const QStringList& r : rows)
            EXPECT_EQ(r.size(), c.columns) << r.join(',').toStdString();
        const QStringList expected = {
            isoTime(t0), "S",       "/dev/ttyUSB0", "GENERIC", "ST,GS,+  1.00 g<13><10>",
            "2,5",       "dropped", "queue full",   "balance", "2,5{ENTER}"};
        EXPECT_EQ(rows.back(), expected.first(c.columns));
    }
}

namespace {

// A journal as the first version made it: no reason column, no auto_vacuum. `rows` readings
// of about 1 KiB, seq 1..rows of station S.
void makeFirstVersionJournal(const QString& path, int rows, std::int64_t time = t0) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const std::string sql = R"(
PRAGMA journal_mode=WAL;
CREATE TABLE readings(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, station TEXT NOT NULL,
    seq INTEGER NOT NULL, port TEXT NOT NULL, instrument TEXT NOT NULL, line BLOB NOT NULL,
    value TEXT NOT NULL, outcome TEXT NOT NULL, acked INTEGER);
CREATE INDEX readings_time ON readings(time);
CREATE INDEX readings_pending ON readings(station, seq) WHERE acked = 0;
CREATE TABLE stations(station TEXT PRIMARY KEY, last_seq INTEGER NOT NULL);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < )" +
                            std::to_string(rows) + R"()
INSERT INTO readings(time, station, seq, port, instrument, line, value, outcome, acked)
    SELECT )" + std::to_string(time) + R"( + i, 'S', i, '/dev/ttyUSB0', 'GENERIC', x'310d',
           i || printf('%.1000c', 'x'), 'dropped', NULL FROM n;
INSERT INTO stations VALUES('S', )" + std::to_string(rows) + ");";
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
    sqlite3_free(error);
    sqlite3_close(db);
}

} // namespace

// Its rows read back with the port as label: the name their instrument went by.
TEST_F(Journal, AJournalOfTheFirstVersionGainsTheReasonAndLabelColumnsAndKeepsItsReadings) {
    makeFirstVersionJournal(path, 3);
    JournalDb db(path);
    Reading late = reading(t0 + 10, "4", Outcome::Dropped);
    late.reason = "age";
    late.label = "balance";
    EXPECT_EQ(db.append(std::span(&late, 1), "S", true), 4);
    const auto rows = all(db);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].reading.value.startsWith("1xxx"));
    EXPECT_EQ(rows[0].reading.reason, "");
    EXPECT_EQ(rows[3].reading.reason, "age");
    EXPECT_EQ(rows[0].reading.label, "/dev/ttyUSB0");
    EXPECT_EQ(rows[3].reading.label, "balance");
    EXPECT_EQ(db.pending("S", 0, 10).size(), 1u);
    EXPECT_EQ(db.integrityCheck(), "ok");
    EXPECT_EQ(db.sealedOnOpen(), 3);
    const ChainCheck check = db.verifyChain();
    EXPECT_TRUE(check.intact) << check.problem.toStdString();
    EXPECT_EQ(check.rows, 4);
    EXPECT_EQ(check.sealedRows, 3);
    EXPECT_EQ(check.sealedUpTo->seq, 3);
    EXPECT_EQ(JournalDb(path).sealedOnOpen(), 0);
}

// Each way of altering the file by hand is caught at the first seq it touched; a cut tail
// only against a head saved before.
TEST_F(Journal, TheChainNamesTheFirstSeqThatWasChangedInsertedMovedOrDeleted) {
    const struct {
        const char* what;
        const char* sql;
        bool compareSavedHead;
        std::int64_t seq; // 0: intact
    } cases[] = {
        {"untouched", "", true, 0},
        {"value edited", "UPDATE readings SET value = '9.99' WHERE seq = 5", false, 5},
        {"raw line edited", "UPDATE readings SET line = x'390d' WHERE seq = 7", false, 7},
        {"row deleted", "DELETE FROM readings WHERE seq = 5", false, 5},
        {"first row deleted", "DELETE FROM readings WHERE seq = 1", false, 2},
        {"row inserted after seq 5, the later ones renumbered",
         "UPDATE readings SET id = id + 100, seq = seq + 100 WHERE seq > 5;"
         "UPDATE readings SET id = id - 99, seq = seq - 99 WHERE seq > 100;"
         "INSERT INTO readings(id, time, station, seq, port, instrument, line, value, outcome, reason, "
         "label, "
         "prev_hash, hash) SELECT 6, time, station, 6, port, instrument, line, '0.01', outcome, reason, "
         "label, "
         "hash, hash FROM readings WHERE seq = 5",
         false, 6},
        {"two rows swapped",
         "UPDATE readings SET id = -3 WHERE id = 3; UPDATE readings SET id = 3 WHERE id = 4;"
         "UPDATE readings SET id = 4 WHERE id = -3",
         false, 3},
        {"tail cut", "DELETE FROM readings WHERE seq > 8", false, 0},
        {"tail cut, against the saved head", "DELETE FROM readings WHERE seq > 8", true, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = dir.path() + "/" + c.what + "/journal.sqlite";
        JournalDb::SavedHead saved;
        {
            JournalDb db(file);
            std::vector<Reading> group;
            for (int i = 1; i <= 10; ++i)
                group.push_back(reading(t0 + i, QString::number(i)));
            db.append(group, "S", false);
            const ChainCheck check = db.verifyChain();
            saved = {check.head->seq, check.head->hash};
        }
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &raw), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(raw, c.sql, nullptr, nullptr, &error), SQLITE_OK) << error;
        sqlite3_free(error);
        sqlite3_close(raw);

        JournalDb db(file);
        const ChainCheck check = db.verifyChain(c.compareSavedHead ? std::optional(saved) : std::nullopt);
        EXPECT_EQ(check.intact, c.seq == 0) << check.problem.toStdString();
        EXPECT_EQ(check.seq, c.seq) << check.problem.toStdString();
    }
}

TEST_F(Journal, SettingsChangedAreJournaledInAChainThatNamesTheFirstEventAltered) {
    tarovex::config::Config before, after;
    before.setPort("/dev/ttyS0");
    after.setPort("/dev/ttyUSB1");
    after.setBitRate(4);
    before.record.station = after.record.station = "S2";
    EXPECT_EQ(journalSettingChanges(before, after, path), QString());
    std::vector<StoredEvent> events;
    JournalDb(path).forEachEvent([&](const StoredEvent& e) { events.push_back(e); });
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].event.kind, RecordEvent::Kind::Setting);
    EXPECT_EQ(events[0].station, "S2");
    EXPECT_EQ(QStringList({events[0].event.setting, events[0].event.oldValue, events[0].event.newValue}),
              QStringList({"port", "/dev/ttyS0", "/dev/ttyUSB1"}));
    EXPECT_EQ(events[1].event.setting, "bitRate");
    EXPECT_NE(events[1].event.oldValue, events[1].event.newValue);
    EXPECT_FALSE(events[1].event.user.isEmpty());
    after.record.journal = false; // keeps no record
    EXPECT_EQ(journalSettingChanges(before, after, path), QString());
    EXPECT_EQ(JournalDb(path).verifyChain().events.rows, 2);

    const struct {
        const char* what;
        const char* sql;
        std::int64_t id; // 0: intact
    } cases[] = {
        {"untouched", "", 0},
        {"new value edited", "UPDATE events SET new_value = '9600' WHERE id = 3", 3},
        {"user edited", "UPDATE events SET user = 'someone' WHERE id = 2", 2},
        {"event deleted", "DELETE FROM events WHERE id = 2", 2},
        {"two events swapped",
         "UPDATE events SET id = -2 WHERE id = 2; UPDATE events SET id = 2 WHERE id = 3;"
         "UPDATE events SET id = 3 WHERE id = -2",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = dir.path() + "/" + c.what + "/journal.sqlite";
        std::vector<RecordEvent> four;
        for (int i = 0; i < 4; ++i) {
            four.push_back(attributedEvent(RecordEvent::Kind::Setting));
            four.back().setting = "bitRate";
            four.back().newValue = QString::number(i);
        }
        JournalDb(file).appendEvents(four, "S");
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, c.sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
        const ChainCheck check = JournalDb(file).verifyChain();
        EXPECT_TRUE(check.intact); // the readings' chain is not touched
        EXPECT_EQ(check.events.intact, c.id == 0) << check.events.problem.toStdString();
        EXPECT_EQ(check.events.id, c.id) << check.events.problem.toStdString();
    }
}

TEST_F(Journal, TenThousandUntouchedReadingsVerifyUpToTheirHead) {
    JournalDb db(path);
    std::vector<Reading> group;
    for (int i = 0; i < 10'000; ++i)
        group.push_back(reading(t0 + i, QString::number(i)));
    db.append(std::span(group).first(4000), "S", false);
    db.append(std::span(group).subspan(4000), "S", false);
    const ChainCheck check = db.verifyChain();
    EXPECT_TRUE(check.intact) << check.problem.toStdString();
    EXPECT_EQ(check.rows, 10'000);
    EXPECT_EQ(check.head->seq, 10'000);
    EXPECT_EQ(check.head->hash, all(db).back().hash);
    EXPECT_EQ(check.head->hash.size(), 32);
}

TEST_F(Journal, AFloodKeepsTheFileAndItsLogWithinTheBoundAndTheNewestReadings) {
    constexpr std::int64_t bound = 1 << 20;
    constexpr int flood = 30'000; // some 5 MB of readings
    // A new file, and one of the first version already three times over the bound.
    for (const int before : {0, 3000}) {
        SCOPED_TRACE(before);
        QFile::remove(path);
        // Recent, so that retention by age takes none of them.
        const std::int64_t now = QDateTime::currentMSecsSinceEpoch() - flood - before;
        if (before > 0)
            makeFirstVersionJournal(path, before, now);
        auto db = std::make_unique<JournalDb>(path);
        JournalDb* journal = db.get();
        std::vector<std::unique_ptr<RecordSink>> sinks;
        sinks.push_back(std::make_unique<JournalSink>(
            std::move(db), JournalSink::Options{.station = "S", .maxBytes = bound}, nullptr));
        RecordThread thread(std::move(sinks));
        for (int i = 1; i <= flood; ++i)
            thread.append(reading(now + before + i, QString::number(i), Outcome::Typed,
                                  "ST,GS,+" + QByteArray::number(i).rightJustified(60, ' ') + " g\r\n"));
        thread.flush();
        // Measured while the writer is open (closing would checkpoint and remove the log);
        // the -shm index (32 KiB) is not counted.
        const std::int64_t onDisk = QFileInfo(path).size() + QFileInfo(path + "-wal").size();
        EXPECT_LE(onDisk, bound);
        JournalDb reader(path);
        const auto rows = all(reader);
        ASSERT_GT(rows.size(), 2000u);
        EXPECT_EQ(rows.back().seq, before + flood);
        EXPECT_EQ(rows.back().seq - rows.front().seq + 1, std::int64_t(rows.size())) << "the newest, no gap";
        EXPECT_EQ(journal->integrityCheck(), "ok");
    }
}

TEST_F(Journal, KillDuringAFloodLeavesASoundJournalMissingAtMostTheLastGroup) {
    QProcess flood;
    flood.start(TAROVEX_BINARY_DIR "/tests/tarovex-test-journal-flood", {path});
    ASSERT_TRUE(flood.waitForStarted());
    std::int64_t reported = 0;
    int groups = 0;
    while (reported < 100'000 && flood.waitForReadyRead(10'000))
        while (flood.canReadLine()) {
            reported = flood.readLine().trimmed().toLongLong();
            ++groups;
        }
    ::kill(flood.processId(), SIGKILL);
    flood.waitForFinished();
    ASSERT_GE(reported, 100'000);
    EXPECT_GT(groups, 10);

    JournalDb db(path);
    EXPECT_EQ(db.integrityCheck(), "ok");
    const std::int64_t kept = db.count();
    EXPECT_EQ(db.lastSeq("flood"), kept); // seq 1..kept, no hole
    EXPECT_GE(kept, reported);
    EXPECT_LE(kept - reported, std::int64_t(RecordThread::maxGroup) * 2);
}

TEST_F(Journal, RunRecorderKeepsWhatTheSettingsAskAndGoesOnWithoutAJournalItCannotOpen) {
    tarovex::config::Config config;
    config.setPort("/dev/ttyS1");
    config.label = "balance";
    config.setInstrument(tarovex::config::ConfigHelper::Instrument::SARTORIUS);
    config.record.station = "S9";
    config.record.csvFile = dir.path() + "/live.csv";
    const tarovex::reading::DataLine line(
        "+ 12.5 g\r", "12.5", 1, std::chrono::system_clock::time_point(std::chrono::milliseconds(t0)), false);
    // Warned of on a machine whose clock no time server keeps, as this one may be.
    QStringList clock;
    if (clockSynchronised() == false)
        clock << "The clock of this computer is not synchronised with a time server: the times recorded may "
                 "be off.";
    {
        Reports log;
        tarovex::journal::RunRecorder recorder(config, &log, path);
        recorder.record(line, Outcome::Filtered);
        recorder.flush();
        EXPECT_EQ(log.list(), clock);
    }
    JournalDb db(path);
    std::vector<StoredEvent> runs;
    db.forEachEvent([&](const StoredEvent& e) { runs.push_back(e); });
    ASSERT_EQ(runs.size(), 1u);
    const RecordEvent& run = runs[0].event;
    EXPECT_EQ(run.kind, RecordEvent::Kind::Run);
    EXPECT_EQ(runs[0].station, "S9");
    EXPECT_EQ(run.user, QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    EXPECT_EQ(run.host, QSysInfo::machineHostName());
    EXPECT_FALSE(run.version.isEmpty());
    EXPECT_EQ(QStringList({run.label, run.port, run.instrument}),
              QStringList({"balance", "/dev/ttyS1", "SARTORIUS"}));
    EXPECT_EQ(run.clockSynchronised, clockSynchronised());
    const auto rows = all(db);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].station, "S9");
    EXPECT_EQ(rows[0].reading.instrument, "SARTORIUS");
    EXPECT_EQ(rows[0].reading.port, "/dev/ttyS1");
    EXPECT_EQ(rows[0].reading.label, "balance");
    EXPECT_EQ(rows[0].reading.line, "+ 12.5 g\r");
    EXPECT_EQ(rows[0].reading.outcome, Outcome::Filtered);

    Reports log;
    tarovex::journal::RunRecorder broken(config, &log, config.record.csvFile + "/journal.sqlite");
    EXPECT_TRUE(broken.isRecording()); // the CSV file still is
    broken.record(line, Outcome::Typed);
    broken.flush();
    const QStringList reports = log.list();
    ASSERT_EQ(reports.size(), 1 + clock.size());
    EXPECT_TRUE(reports[0].endsWith("the readings are not kept.")) << reports[0].toStdString();
    QFile csv(config.record.csvFile);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(parseCsv(csv.readAll()).size(), 3u); // the header and both readings

    config.record = {.journal = false};
    EXPECT_FALSE(tarovex::journal::RunRecorder(config, nullptr, path + "2").isRecording());
    EXPECT_FALSE(QFileInfo::exists(path + "2"));
}

namespace {

// A sink that holds the record thread in its first write until released, so that the queue
// fills as in a flood the disk cannot keep up with.
class GatedSink : public RecordSink {
public:
    void write(std::span<const Reading> group) override {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        written += group.size();
    }
    void waitUntilHeld() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    std::size_t written = 0; // read after flush()

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false, open_ = false;
};

} // namespace

TEST(RecordQueue, BeyondItsBoundReadingsAreDroppedAndCountedInOneReportOnceTheBacklogIsWritten) {
    std::vector<std::unique_ptr<RecordSink>> sinks;
    auto* sink = static_cast<GatedSink*>(sinks.emplace_back(std::make_unique<GatedSink>()).get());
    Reports log;
    RecordThread thread(std::move(sinks), &log, 4);
    thread.append(reading(t0, "held"));
    sink->waitUntilHeld();
    for (int i = 0; i < 10; ++i)
        thread.append(reading(t0 + i, QString::number(i)));
    EXPECT_EQ(thread.dropped(), 6u);
    EXPECT_TRUE(log.list().isEmpty()) << "not while the backlog is still being written";
    sink->open();
    thread.flush();
    thread.append(reading(t0, "after"));
    thread.flush();
    EXPECT_EQ(sink->written, 1u + 4u + 1u);
    const QStringList reports = log.list();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith("6 readings were not recorded")) << reports[0].toStdString();
}

// An export runs on a thread of its own and tells its progress; cancelled, it leaves no
// file behind; done, the file holds every reading.
TEST_F(Journal, AnExportRunsApartTellsItsProgressAndCanBeCancelled) {
    {
        JournalDb db(path);
        std::vector<Reading> group;
        for (int i = 0; i < 12000; ++i)
            group.push_back(reading(t0 + i, QString::number(i)));
        db.append(group, "s", false);
    }
    const QString file = dir.path() + "/readings.csv";
    for (const bool cancel : {true, false}) {
        std::mutex mutex;
        std::condition_variable ended;
        std::vector<std::int64_t> progress;
        std::optional<ExportTask::Outcome> outcome;
        std::thread::id doneOn;
        ExportTask* self = nullptr;
        ExportTask task(
            path, file, t0, t0 + 12000, ExportFormat::Csv,
            [&](std::int64_t n) {
                std::unique_lock lock(mutex);
                progress.push_back(n);
                ended.wait(lock, [&] { return self != nullptr; });
                if (cancel)
                    self->cancel();
            },
            [&](ExportTask::Outcome o) {
                const std::lock_guard lock(mutex);
                outcome = o;
                doneOn = std::this_thread::get_id();
                ended.notify_all();
            });
        {
            std::unique_lock lock(mutex);
            self = &task;
            ended.notify_all();
            ASSERT_TRUE(ended.wait_for(lock, std::chrono::seconds(20), [&] { return outcome.has_value(); }));
        }
        EXPECT_NE(doneOn, std::this_thread::get_id());
        EXPECT_EQ(outcome->cancelled, cancel);
        EXPECT_TRUE(outcome->error.isEmpty()) << outcome->error.toStdString();
        if (cancel) {
            EXPECT_EQ(progress, std::vector<std::int64_t>{ExportTask::kProgressEvery});
            EXPECT_FALSE(QFileInfo::exists(file));
        } else {
            EXPECT_EQ(progress, (std::vector<std::int64_t>{5000, 10000}));
            QFile written(file);
            ASSERT_TRUE(written.open(QIODevice::ReadOnly));
            EXPECT_EQ(parseCsv(written.readAll()).size(), 12001u);
            EXPECT_EQ(outcome->written, 12000);
        }
    }
}
