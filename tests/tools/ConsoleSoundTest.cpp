// The console's sound: what plays it, and that a sound output that cannot start is reported
// without ending the run.
#include "ProcessSupport.h"
#include "tests/Tarolink/TestSupport.h"
#include "tools/console/ConsoleView.h"
#include "worker/sound/RecordingSound.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using tarovex::worker::DataLine;
using tarovex::worker::Ignorer;
using tarovex::worker::RecordingSound;

TEST(ConsoleView, PlaysForEveryValueLeftAfterTheRepeatFilter) {
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    tarovex::console::StreamWriter values(devNull, 1 << 16), log(devNull, 1 << 16);
    tarovex::console::ConsoleView view(values, log, Ignorer(0, tarovex::config::Decimal()), false,
                                       tarovex::console::ValueFormat::Readable);
    RecordingSound sound;
    view.setSound(&sound);
    int count = 0;
    for (const char* value : {"12.5", "12.5", "", "13", "12.5"})
        view.dataLineReceived(DataLine("raw\r", value, ++count, DataLine::Instant(), false));
    EXPECT_EQ(sound.plays, 3) << "12.5, 13 and 12.5 again; not the repeat, not the empty line";
    values.finish(std::chrono::milliseconds(1000));
    log.finish(std::chrono::milliseconds(1000));
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
    const std::string failure = "Error while initializing sound output: No audio device (";
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
