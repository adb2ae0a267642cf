// The console's sound: what plays it, and that a sound output that cannot start is reported
// without ending the run.
#include "ProcessSupport.h"
#include "tests/Tarolink/TestSupport.h"
#include "tools/console/ConsoleView.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using tarovex::reading::DataLine;

// The value stream gets one record per line: the value when it is output, else an empty
// one; the run plays and types by the same outcome.
TEST(ConsoleView, WritesTheValueLeftAfterTheRepeatFilterAndAnEmptyRecordOtherwise) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    tarovex::console::StreamWriter values(pipe[1], 1 << 16), log(devNull, 1 << 16);
    tarovex::console::ConsoleLog runLog(log, false);
    tarovex::console::ValueWriter writer(values, runLog, tarovex::console::ValueFormat::Readable);
    using tarovex::ReadingOutcome;
    int count = 0;
    for (const auto& [value, outcome] :
         {std::pair{"12.5", ReadingOutcome::Value}, std::pair{"12.5", ReadingOutcome::Repeat},
          std::pair{"", ReadingOutcome::NoValue}, std::pair{"1\r", ReadingOutcome::Value}})
        writer.reading(DataLine("raw\r", value, ++count, DataLine::Instant(), false), outcome);
    EXPECT_EQ(values.finish(std::chrono::milliseconds(1000)), 0);
    ::close(pipe[1]);
    char buffer[64] = {};
    EXPECT_EQ(std::string(buffer, size_t(::read(pipe[0], buffer, sizeof buffer))), "12.5\n\n\n1<13>\n");
    log.finish(std::chrono::milliseconds(1000));
    ::close(pipe[0]);
    ::close(devNull);
}

TEST(ConsoleSound, NoSoundOutputIsCreatedUnlessAskedForAndAFailureDoesNotEndTheRun) {
    QTemporaryDir home;
    // The audio libraries' own variables: no sound server, no ALSA device.
    QFile emptyAlsaConfig(home.filePath("asound.conf"));
    ASSERT_TRUE(emptyAlsaConfig.open(QIODevice::WriteOnly));
    emptyAlsaConfig.close();
    const std::map<std::string, std::string> env = {
        {"HOME", home.path().toStdString()},
        {"XDG_CONFIG_HOME", (home.path() + "/config").toStdString()},
        {"PATH", "/usr/bin:/bin"},
        {"PULSE_SERVER", "unix:/nonexistent/native"},
        {"ALSA_CONFIG_PATH", emptyAlsaConfig.fileName().toStdString()}};
    const std::string console = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";
    const std::string failure = "The sound output could not be started: No audio device (";
    struct Row {
        const char* sound;
        bool flag;
        bool reported;
    };
    for (const Row& row :
         {Row{"COWBELL", true, true}, Row{"COWBELL", false, false}, Row{"NONE", true, false}}) {
        SCOPED_TRACE(std::string(row.sound) + (row.flag ? " --sound" : ""));
        tarolink_test::Pty pty;
        std::vector<std::string> args = {"--set", std::string("sound=") + row.sound, pty.slavePath()};
        if (row.flag)
            args.insert(args.begin(), "--sound");
        tools_test::Process p(console, args, env);
        ASSERT_TRUE(p.waitForError("RTS: off, DTR: on.")) << p.errorText();
        pty.write("7\r");
        EXPECT_EQ(p.readLine(), "7");
        p.signal(SIGTERM);
        EXPECT_EQ(p.wait(), 0);
        EXPECT_EQ(p.errorText().find(failure) != std::string::npos, row.reported) << p.errorText();
    }
}
