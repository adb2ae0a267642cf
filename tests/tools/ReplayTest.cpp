// --replay as a user runs it: a recording gives what the same bytes give live on a port.
#include "ProcessSupport.h"
#include "tests/Tarolink/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using tools_test::Process;

namespace {

const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

class Replay : public ::testing::Test {
protected:
    std::map<std::string, std::string> env() const {
        return {{"HOME", home_.path().toStdString()},
                {"XDG_CONFIG_HOME", (home_.path() + "/config").toStdString()},
                {"PATH", "/usr/bin:/bin"},
                {"LANG", "C.UTF-8"}};
    }
    std::string recording(const std::string& bytes) const {
        const QString path = home_.path() + "/capture.bin";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), qint64(bytes.size()));
        return path.toStdString();
    }
    QTemporaryDir home_;
};

} // namespace

TEST_F(Replay, GivesTheValuesAndEndOfALiveRunForTheSameBytes) {
    struct Row {
        std::vector<std::string> settings;
        std::string bytes;
        std::string values;
        std::string unsent; // reported at the end
    };
    const Row rows[] = {
        {{},
         "ST,GS,+  12.50 g\rno value\r-3,5\r\xb0 7\r\xff 8\rST,GS,+  1",
         "12.50\n\n-3.5\n7\n8\n",
         "ST,GS,+  1"},
        {{"--set", "instrument=BARCODE_ALPHA_COMPLETE"}, "AB 1\r\nCD2\r\n", "AB 1\nCD2\n", "<10>"},
        {{"--set", "ignoreDuplicates=true"}, "1\r1\r2\r1\rx", "1\n\n2\n1\n", "x"},
        {{"--set", "inputTerminator=10", "--set", "mathOperation=MULTIPLY", "--set", "mathOperand=3"},
         "1.5\n2\n\n0,1\n",
         "4.5\n6\n\n0.3\n",
         ""},
    };
    for (const Row& row : rows) {
        tarolink_test::Pty pty;
        auto args = row.settings;
        args.push_back(pty.slavePath());
        Process live(kConsole, args, env());
        ASSERT_TRUE(live.waitForError("RTS: off, DTR: on.")) << live.errorText();
        pty.write(row.bytes);
        std::string liveValues;
        for (auto n = std::count(row.values.begin(), row.values.end(), '\n'); n > 0; --n)
            liveValues += live.readLine().value_or("<missing>") + '\n';
        // The tail came in the same write, but the worker may not have read it yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        live.signal(SIGTERM);
        EXPECT_EQ(live.wait(), 0);
        liveValues += live.remainingOutput();

        args = row.settings;
        args.insert(args.end(), {"--replay", recording(row.bytes)});
        Process replay(kConsole, args, env());
        EXPECT_EQ(replay.wait(), 0) << replay.errorText();
        EXPECT_EQ(liveValues, row.values) << row.bytes;
        EXPECT_EQ(replay.remainingOutput(), row.values) << row.bytes;
        // The end is a stop's, with the bytes after the last line reported alike.
        for (const std::string* log : {&live.errorText(), &replay.errorText()}) {
            EXPECT_NE(log->find("Reading stopped."), std::string::npos) << *log;
            const auto tail =
                log->find("after the last complete line was not processed: " + row.unsent + "\n");
            EXPECT_EQ(tail != std::string::npos, !row.unsent.empty()) << *log;
        }
    }
}

TEST_F(Replay, ReadsStandardInputAndRefusesWhatIsNoRecording) {
    {
        Process p("/bin/sh", {"-c", "printf '1\\r2\\r' | exec \"$0\" --replay -", kConsole}, env());
        EXPECT_EQ(p.wait(), 0) << p.errorText();
        EXPECT_EQ(p.remainingOutput(), "1\n2\n");
    }
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Row rows[] = {
        {{"--replay", home_.path().toStdString() + "/none"},
         1,
         "none could not be read: No such file or directory."},
        {{"--replay", home_.path().toStdString()}, 1, "could not be read: Is a directory."},
        {{"--replay"}, 2, "--replay needs a FILE"},
        {{"--replay="}, 2, "the replay FILE is empty"},
        {{"--replay", "x", "/dev/ttyS0"}, 2, "a PORT and --replay exclude each other"},
    };
    for (const Row& row : rows) {
        Process p(kConsole, row.args, env());
        EXPECT_EQ(p.wait(), row.status) << row.message;
        EXPECT_NE(p.errorText().find(row.message), std::string::npos) << p.errorText();
        EXPECT_EQ(p.remainingOutput(), "");
    }
}
