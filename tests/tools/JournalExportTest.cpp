// The console's journal: what a run on a real pseudo-terminal records, and
// tarovex-console --journal-export on a journal in a temporary data folder.
#include "ProcessSupport.h"
#include "journal/JournalDb.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/journal/MosquittoSupport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tools_test::Process;

namespace {

struct ExportRun {
    int status;
    std::string out;
    std::string err;
};

const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

// A console run with its settings and journal in the temporary home.
std::map<std::string, std::string> runEnv(const QTemporaryDir& home) {
    auto env = tools_test::isolatedEnv(home.path());
    env["XDG_DATA_HOME"] = (home.path() + "/data").toStdString();
    return env;
}

ExportRun exportJournal(const QTemporaryDir& home, std::vector<std::string> args,
                        const char* option = "--journal-export") {
    args.insert(args.begin(), option);
    Process p(kConsole, args,
              {{"HOME", home.path().toStdString()},
               {"XDG_DATA_HOME", (home.path() + "/data").toStdString()},
               {"TZ", "UTC"},
               {"PATH", "/usr/bin:/bin"}});
    const int status = p.wait();
    return {status, p.remainingOutput(), p.errorText()};
}

} // namespace

TEST(ConsoleJournalExport, WritesTheRangeAsCsvOrJsonAndRefusesWrongOptions) {
    QTemporaryDir home;
    EXPECT_EQ(exportJournal(home, {}).status, 1) << "no journal yet";
    std::string hash2, hash3; // of seq 2 and 3 in the chain
    {
        using namespace tarovex::journal;
        JournalDb db(home.path() + "/data/tarovex/journal.sqlite");
        const auto at = [](const char* iso) {
            return QDateTime::fromString(iso, Qt::ISODate).toMSecsSinceEpoch();
        };
        Reading readings[] = {
            {at("2026-11-30T23:59:59Z"), "/dev/ttyUSB0", "GENERIC", "1\r", "1", Outcome::Typed},
            {at("2026-12-01T08:00:00Z"), "/dev/ttyUSB0", "GENERIC", "2,5\r", "2,5", Outcome::Printed},
            {at("2026-12-02T00:00:00Z"), "/dev/ttyUSB0", "GENERIC", "3\r", "3", Outcome::Typed}};
        readings[1].label = "balance";
        readings[2].label = "/dev/ttyUSB0";
        db.append(readings, "S", false);
        db.forEach(
            [&](const StoredReading& s) { (s.seq == 2 ? hash2 : hash3) = s.hash.toHex().toStdString(); });
    }
    const ExportRun csv = exportJournal(home, {"--since", "2026-12-01", "--until", "2026-12-02"});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "time,station,port,instrument,line,value,outcome,seq,reason,label,output,hash\r\n"
              "2026-12-01T08:00:00.000Z,S,/dev/ttyUSB0,GENERIC,\"2,5<13>\",\"2,5\",printed,2,,balance,," +
                  hash2 + "\r\n");

    const ExportRun json = exportJournal(home, {"--format", "json", "--since", "2026-12-01T09:00:00+01:00"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(
        json.out,
        "{\"hash\":\"" + hash2 +
            "\",\"instrument\":\"GENERIC\",\"label\":\"balance\",\"line\":\"2,5<13>\",\"outcome\":"
            "\"printed\",\"output\":\"\",\"port\":\"/dev/"
            "ttyUSB0\",\"reason\":\"\",\"seq\":2,\"station\":\"S\","
            "\"time\":\"2026-12-01T08:00:00.000Z\",\"value\":\"2,5\"}\n"
            "{\"hash\":\"" +
            hash3 +
            "\",\"instrument\":\"GENERIC\",\"label\":\"/dev/ttyUSB0\",\"line\":\"3<13>\",\"outcome\":"
            "\"typed\",\"output\":\"\",\"port\":\"/dev/ttyUSB0\",\"reason\":\"\",\"seq\":3,\"station\":\"S\","
            "\"time\":\"2026-12-02T00:00:00.000Z\",\"value\":\"3\"}\n");

    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{"--format", "xml"}, "--format takes csv or json, not 'xml'"},
        {{"--since", "yesterday"}, "--since takes a time such as 2026-12-01"},
        {{"--until"}, "not '--until'"},
    };
    for (const auto& [args, message] : wrong) {
        const ExportRun r = exportJournal(home, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(ConsoleJournalVerify, ExitsZeroIntactOneNamingTheAlteredSeqTwoUnreadable) {
    QTemporaryDir home;
    const QString path = home.path() + "/data/tarovex/journal.sqlite";
    const auto verify = [&](std::vector<std::string> args = {}) {
        return exportJournal(home, std::move(args), "--journal-verify");
    };
    EXPECT_EQ(verify().status, 2) << "no journal yet";
    std::string head;
    {
        using namespace tarovex::journal;
        JournalDb db(path);
        const Reading r{1'765'000'000'000, "/dev/ttyUSB0", "GENERIC", "1\r", "1", Outcome::Typed};
        const Reading three[] = {r, r, r};
        db.append(three, "S", false);
        head = "3:" + db.verifyChain().head->hash.toHex().toStdString();
    }
    const ExportRun intact = verify({"--head", head});
    EXPECT_EQ(intact.status, 0) << intact.err;
    EXPECT_NE(intact.out.find("intact: 3 readings verified"), std::string::npos) << intact.out;
    EXPECT_NE(intact.out.find("--head " + head), std::string::npos) << intact.out;
    EXPECT_EQ(verify({"--head", "3:beef"}).status, 2);

    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const qsizetype at = bytes.lastIndexOf("GENERIC"); // a row's instrument, in the file's pages
        ASSERT_GT(at, 0);
        bytes[at] = 'X';
        f.seek(0);
        f.write(bytes);
    }
    const ExportRun altered = verify();
    EXPECT_EQ(altered.status, 1) << altered.out << altered.err;
    EXPECT_NE(altered.out.find("altered at seq "), std::string::npos) << altered.out;

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(8192, 'x'));
    f.close();
    const ExportRun unreadable = verify();
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_NE(unreadable.err.find("journal"), std::string::npos) << unreadable.err;
}

TEST(ConsoleJournalExport, AConsoleRunRecordsEveryLineWithWhatBecameOfIt) {
    QTemporaryDir home;
    tarolink_test::Pty pty;
    Process run(kConsole, {pty.slavePath(), "--set", "ignoreDuplicates=true", "--set", "station=S7"},
                runEnv(home));
    ASSERT_TRUE(run.waitForError("RTS: off, DTR: on.")) << run.errorText();
    pty.write("12.5\r12.5\rabc\r7\r");
    for (const char* value : {"12.5", "", "", "7"})
        EXPECT_EQ(run.readLine(), value) << run.errorText();
    run.signal(SIGTERM);
    ASSERT_EQ(run.wait(), 0) << run.errorText();
    const ExportRun json = exportJournal(home, {"--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    QStringList outcomes;
    for (const QByteArray& line : QByteArray::fromStdString(json.out).split('\n'))
        if (!line.isEmpty()) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            outcomes << o["value"].toString() + ":" + o["outcome"].toString();
            EXPECT_EQ(o["station"].toString(), "S7");
            EXPECT_EQ(o["port"].toString().toStdString(), pty.slavePath());
        }
    EXPECT_EQ(outcomes, QStringList({"12.5:printed", "12.5:filtered", ":error", "7:printed"}));
}

TEST(ConsoleJournalExport, AReplayIsNeitherJournalledNorWrittenToTheLiveCsvFile) {
    QTemporaryDir home;
    const QString capture = home.path() + "/capture.bin";
    QFile f(capture);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12.5\r7\r");
    f.close();
    const QString csv = home.path() + "/live.csv";
    Process run(kConsole, {"--replay", capture.toStdString(), "--set", "csvFile=" + csv.toStdString()},
                runEnv(home));
    EXPECT_EQ(run.readLine(), "12.5");
    EXPECT_EQ(run.readLine(), "7");
    ASSERT_EQ(run.wait(), 0) << run.errorText();
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/data/tarovex/journal.sqlite"));
    EXPECT_FALSE(QFileInfo::exists(csv));
}

TEST(ConsoleJournalExport, TheEndWaitsForABrokerThatNeverAcknowledgesOnlyAsLongAsItSays) {
    QTemporaryDir home;
    tarolink_test::Pty pty;
    mqtt_test::SilentBroker broker;
    Process run(kConsole,
                {pty.slavePath(), "--set", "station=S7", "--set",
                 "mqttBroker=mqtt://127.0.0.1:" + std::to_string(broker.port())},
                runEnv(home));
    ASSERT_TRUE(run.waitForError("RTS: off, DTR: on.")) << run.errorText();
    pty.write("12.5\r7\r");
    EXPECT_EQ(run.readLine(), "12.5");
    EXPECT_EQ(run.readLine(), "7");
    ASSERT_TRUE(broker.waitFor(R"("seq":2)")) << "both readings were sent";
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(20000), 0) << "no end within 20 s\n" << run.errorText();
    EXPECT_NE(run.errorText().find("2 readings are still queued"), std::string::npos) << run.errorText();
    EXPECT_EQ(tarovex::journal::JournalDb(home.path() + "/data/tarovex/journal.sqlite").pendingCount("S7"),
              2);
}
