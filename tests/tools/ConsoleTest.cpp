// The console front end as a user runs it: the built program on a real pseudo-terminal,
// with its settings in a temporary home.
#include "ProcessSupport.h"
#include "tarovex/startup/Version.h"
#include "tests/Ser2netServer.h"
#include "tests/SwayServer.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/XTextRecorder.h"
#include "tests/XvfbServer.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandKeyOutput.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "tests/ProvenOrSkipped.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <termios.h>

#include <thread>

using tools_test::Process;

namespace {

const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

class Console : public ::testing::Test {
protected:
    std::map<std::string, std::string> env() const { return tools_test::isolatedEnv(home_.path()); }

    // The per-user store the program reads, written as the program would write it.
    QString storeFile() const { return home_.path() + "/config/Lumbrix/tarovex.conf"; }
    void store(const std::map<QString, QString>& entries) const {
        QSettings settings(storeFile(), QSettings::IniFormat);
        for (const auto& [key, value] : entries)
            settings.setValue("com/lumbrix/tarovex/" + key, value);
        settings.sync();
    }

    std::unique_ptr<Process> start(std::vector<std::string> args,
                                   std::map<std::string, std::string> extraEnv = {}) {
        auto e = env();
        for (auto& [k, v] : extraEnv)
            e[k] = v;
        return std::make_unique<Process>(kConsole, args, e);
    }

    // Started and reading: the port is open and flushed, so what the test sends now counts.
    std::unique_ptr<Process> startReading(std::vector<std::string> args,
                                          std::map<std::string, std::string> extraEnv = {}) {
        auto p = start(std::move(args), std::move(extraEnv));
        EXPECT_TRUE(p->waitForError("RTS: off, DTR: on.")) << p->errorText();
        return p;
    }

    QTemporaryDir home_;
    tarolink_test::Pty pty;
};

// "HH:MM:SS text" for every line of the log.
bool everyLogLineIsTimed(const std::string& log) {
    static const QRegularExpression timed(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\S"));
    const QStringList lines = QString::fromStdString(log).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines)
        if (!timed.match(line).hasMatch())
            return false;
    return !lines.isEmpty();
}

} // namespace

TEST_F(Console, HelpDescribesTheProgram) {
    auto p = start({"--help"});
    EXPECT_EQ(p->wait(), 0);
    const std::string help = p->remainingOutput();
    for (const char* part :
         {"Usage: tarovex-console [OPTIONS] [PORT[@LABEL]...] [--instrument LABEL...]", "--set KEY=VALUE",
          "--null", "Exit status", "SIGTERM", "SIGHUP", "gives an empty line when", "gives no\noutput line",
          "--type", "--keyboard-backend x11|wayland|uinput|gnome|kde|portal", "--keyboard-layout XKB",
          "travels unencrypted to an mqtt://"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}

TEST_F(Console, WrongOptionsAndSettingsAreRefusedWithStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"--set", "bitRate=abc"}, "invalid value 'abc' for setting bitRate"},
        {{"--set", "bitRate=15"}, "invalid value '15' for setting bitRate"},
        {{"--set", "decimalPlaces=9"}, "invalid value '9' for setting decimalPlaces"},
        {{"--set", "instrument=NOPE"}, "invalid value 'NOPE' for setting instrument"},
        {{"--set", "ignoreDuplicates=maybe"}, "invalid value 'maybe' for setting ignoreDuplicates"},
        {{"--set", "inputTerminator=256"}, "invalid value '256' for setting inputTerminator"},
        {{"--set", "stopBits=3"}, "invalid value '3' for setting stopBits; valid: 1, 2,"},
        {{"--set", "parity=EVENS"}, "valid: NONE, ODD, EVEN, MARK, SPACE,"},
        {{"--set", "outputTemplate={TAB}{vlaue}"},
         "invalid value '{TAB}{vlaue}' for setting outputTemplate (Column 6: unknown field {vlaue}); valid:"},
        {{"--set", "noSuchKey=1"}, "unknown setting 'noSuchKey' (see --list-keys)\n"},
        {{"--set", "port=/dev/ttyS0"}, "unknown setting 'port' (see --list-keys; the port is the argument)"},
        {{""}, "the port is empty"},
        {{"/dev/ptmx"}, "/dev/ptmx is the pseudo-terminal multiplexer, not a serial port"},
        {{"--set", "decimalPlaces"}, "--set needs KEY=VALUE"},
        {{"--set"}, "--set needs KEY=VALUE"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"/dev/a", "/dev/a"}, "/dev/a and /dev/a both read /dev/a: one port serves one instrument"},
        {{"/dev/a@Caliper"}, "no stored instrument is labelled 'Caliper'"},
        {{"--instrument"}, "--instrument needs the LABEL of a stored instrument"},
        {{"--type", "--keyboard-backend", "mutter"},
         "--keyboard-backend is x11, wayland, uinput, gnome, kde or portal, not 'mutter'"},
        {{"--type", "--keyboard-layout="}, "--keyboard-layout needs an XKB layout"},
        {{"--keyboard-backend=x11"}, "--keyboard-backend and --keyboard-layout go with --type"},
    };
    for (const auto& [args, message] : rows) {
        std::vector<std::string> all = args;
        if (all.front() == "--set" && all.size() == 2)
            all.push_back(pty.slavePath());
        auto p = start(all);
        EXPECT_EQ(p->wait(), 2) << message;
        EXPECT_NE(p->errorText().find(message), std::string::npos) << p->errorText();
        EXPECT_TRUE(p->remainingOutput().empty());
    }
    EXPECT_FALSE(QFileInfo::exists(storeFile())) << "nothing was written";
}

TEST_F(Console, EachValueComesOutAsItsLineArrivesAndSigtermStopsCleanly) {
    auto p = startReading({pty.slavePath()});
    // One line at a time: each value must be out before the next line is sent.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"ST,GS,+  12.50 g\r", "12.50"}, {"no value\r", ""}, {"-3,5\r", "-3.5"}, {"\xb0 7\r", "7"}};
    for (const auto& [line, value] : rows) {
        pty.write(line);
        EXPECT_EQ(p->readLine(), value) << line;
    }
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0) << p->errorText();
    const std::string log = p->errorText();
    EXPECT_TRUE(everyLogLineIsTimed(log)) << log;
    const std::string parts[] = {std::string(" Tarolink Library: version ") + tarovex::kVersion + ": build",
                                 " SerialPort class loaded: tlkPosix\n",
                                 "opened: 9600 bit/s, 8 data bits, 1 stop bit, parity NONE.",
                                 "RTS: off, DTR: on. DSR: off, CTS: off.",
                                 " ST,GS,+  12.50 g<13>\n",
                                 " <176> 7<13>\n",
                                 "Reading stopped.\n"};
    for (const std::string& part : parts)
        EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log;
    EXPECT_TRUE(p->remainingOutput().empty()) << "values only on standard output";
}

TEST_F(Console, SigintAndSighupStopCleanlyAndRestoreThePort) {
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0); // the master shows the port's settings
    for (const int sig : {SIGINT, SIGHUP}) {
        auto p = startReading({"--no-line-log", pty.slavePath()});
        pty.write("1\r");
        EXPECT_EQ(p->readLine(), "1");
        termios during{};
        ASSERT_EQ(::tcgetattr(pty.master(), &during), 0);
        EXPECT_NE(during.c_lflag, before.c_lflag) << "the port is in raw mode while it is read";
        p->signal(sig);
        EXPECT_EQ(p->wait(), 0) << sig;
        EXPECT_NE(p->errorText().find("Reading stopped."), std::string::npos) << p->errorText();
        EXPECT_EQ(p->errorText().find("<13>"), std::string::npos) << "no line log asked for";
        termios after{};
        ASSERT_EQ(::tcgetattr(pty.master(), &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag) << sig;
        EXPECT_EQ(after.c_iflag, before.c_iflag) << sig;
        EXPECT_EQ(after.c_cflag, before.c_cflag) << sig;
    }
}

TEST_F(Console, AStopEndsTheRunWhileNobodyReadsStandardOutput) {
    auto p = startReading({"--set", "instrument=BARCODE_ALPHA_COMPLETE", pty.slavePath()});
    p->stopReadingOutput();
    // Far more than a pipe holds: the writing of values is stuck.
    for (int i = 0; i < 300; ++i)
        pty.write(std::string(1000, 'A') + "\r");
    pty.write("END\r");
    ASSERT_TRUE(p->waitForError(" END<13>\n")) << p->errorText().substr(0, 2000);
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(5000), 0) << "a stop is heard although standard output is stalled";
    EXPECT_NE(p->errorText().find("Reading stopped."), std::string::npos);
    static const QRegularExpression lost(
        QStringLiteral(" [1-9]\\d* values could not be written to standard output\\."));
    EXPECT_TRUE(lost.match(QString::fromStdString(p->errorText())).hasMatch())
        << p->errorText().substr(0, 2000);
}

TEST_F(Console, AReaderThatGoesAwayStopsTheRunAsASignalWould) {
    for (const bool ignoredByParent : {false, true}) {
        struct sigaction ignore {
        }, old{};
        ignore.sa_handler = ignoredByParent ? SIG_IGN : SIG_DFL;
        sigaction(SIGPIPE, &ignore, &old); // inherited by the child
        auto p = startReading({pty.slavePath()});
        sigaction(SIGPIPE, &old, nullptr);
        p->closeOutput();
        pty.write("1\r");
        EXPECT_EQ(p->wait(), 0) << ignoredByParent << p->errorText();
        for (const char* part : {"The reader of standard output is gone.", "Reading stopped."})
            EXPECT_NE(p->errorText().find(part), std::string::npos) << part << "\n" << p->errorText();
    }
}

TEST_F(Console, AStandardOutputThatRefusesValuesEndsTheRunWithStatusOne) {
    auto e = env();
    auto p = std::make_unique<Process>(
        "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" \"$@\" >/dev/full", kConsole, pty.slavePath()},
        e);
    ASSERT_TRUE(p->waitForError("RTS: off, DTR: on.")) << p->errorText();
    pty.write("1\r");
    EXPECT_EQ(p->wait(), 1);
    for (const char* part :
         {"Standard output could not be written: No space left on device.", "Reading stopped."})
        EXPECT_NE(p->errorText().find(part), std::string::npos) << part << "\n" << p->errorText();
}

TEST_F(Console, AValueWithLineEndsStaysOnOneLineOrIsWrittenRawWithNull) {
    // A scanner's CR LF read with terminator CR: the second value begins with the LF.
    const std::vector<std::string> set = {"--set", "instrument=BARCODE_ALPHA_COMPLETE", "--set",
                                          "customRegEx=([\\s\\S]*)"};
    auto args = set;
    args.push_back(pty.slavePath());
    {
        auto p = startReading(args);
        pty.write("AB1\r\nCD2\r\n");
        EXPECT_EQ(p->readLine(), "AB1<13>");
        EXPECT_EQ(p->readLine(), "<10>CD2<13>");
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(), 0);
    }
    args.insert(args.begin(), "--null");
    auto p = startReading(args);
    pty.write("AB1\r\nCD2\r\n");
    ASSERT_TRUE(p->waitForError(" <10>CD2<13>\n")) << p->errorText();
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0);
    EXPECT_EQ(p->remainingOutput(), std::string("AB1\r\0\nCD2\r\0", 11));
}

TEST_F(Console, SerialParametersAreTakenAsPeopleWriteThemOrAsTheirIndex) {
    // A pseudo-terminal keeps the stop bits and the speed (it forces 8 data bits and no
    // parity): those are checked on the port, the rest in the port's own report.
    struct Row {
        const char* setting;
        const char* opened;
        bool twoStopBits;
        speed_t speed;
    };
    const Row rows[] = {
        {"stopBits=1", "9600 bit/s, 8 data bits, 1 stop bit, parity NONE", false, B9600},
        {"stopBits=2", "9600 bit/s, 8 data bits, 2 stop bits, parity NONE", true, B9600},
        {"stopBits=0", "9600 bit/s, 8 data bits, 1 stop bit, parity NONE", false, B9600},
        {"dataBits=7", "9600 bit/s, 7 data bits, 1 stop bit", false, B9600},
        {"dataBits=2", "9600 bit/s, 7 data bits, 1 stop bit", false, B9600},
        {"parity=EVEN", "1 stop bit, parity EVEN.", false, B9600},
        {"parity=odd", "1 stop bit, parity ODD.", false, B9600},
        {"parity=4", "1 stop bit, parity SPACE.", false, B9600},
        {"bitRate=19200", "19200 bit/s, 8 data bits", false, B19200},
        {"bitRate=8", "19200 bit/s, 8 data bits", false, B19200},
    };
    for (const Row& row : rows) {
        auto p = startReading({"--set", row.setting, pty.slavePath()});
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.master(), &t), 0); // the master shows the port's settings
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, row.twoStopBits) << row.setting;
        EXPECT_EQ(::cfgetispeed(&t), row.speed) << row.setting;
        EXPECT_NE(p->errorText().find(row.opened), std::string::npos) << row.setting << "\n"
                                                                      << p->errorText();
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(), 0) << row.setting << p->errorText();
    }
}

TEST_F(Console, ListKeysShowsTheValidValuesOfEveryKey) {
    auto p = start({"--list-keys"});
    EXPECT_EQ(p->wait(), 0);
    const QStringList lines = QString::fromStdString(p->remainingOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_GT(lines.size(), 30);
    static const QRegularExpression keyAndValues(QStringLiteral("^[A-Za-z0-9]+  \\S.*$"));
    for (const QString& line : lines)
        EXPECT_TRUE(keyAndValues.match(line).hasMatch()) << line.toStdString();
    for (const char* line : {"stopBits  1, 2, or the index 0 for 1", "ignoreDuplicates  true, false"})
        EXPECT_TRUE(lines.contains(QLatin1StringView(line))) << line;
}

TEST_F(Console, SettingsComeFromTheStoreOverridesWinAndNothingIsWritten) {
    store({{"instrument", "BARCODE_ALPHA_COMPLETE"},
           {"inputTerminator", "10"},
           {"customRegEx", "code=(.*)\\r"},
           {"removeCharacters", "-"}});
    const QByteArray before = [&] {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(before.isEmpty());
    {
        auto p = startReading({pty.slavePath()});
        pty.write("code=AB-C d\r\n");
        EXPECT_EQ(p->readLine(), "ABC d") << p->errorText();
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(), 0);
        EXPECT_NE(p->errorText().find("Custom regEx: code=(.*)\\r"), std::string::npos) << p->errorText();
    }
    {
        auto p =
            startReading({pty.slavePath(), "--set", "removeCharacters= ", "--set=ignoreDuplicates=true"});
        pty.write("code=A\r\ncode=A\r\ncode=B B\r\n");
        EXPECT_EQ(p->readLine(), "A");
        EXPECT_EQ(p->readLine(), "") << "a repeat is suppressed";
        EXPECT_EQ(p->readLine(), "BB");
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(), 0);
    }
    QFile after(storeFile());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_EQ(QDir(home_.path() + "/config/Lumbrix").entryList(QDir::Files), QStringList{"tarovex.conf"});
}

// The administrator's file, in a mount namespace of the test's own over /etc: its keys win over
// the store, are named at Start, and --set may not change them.
TEST_F(Console, TheAdministratorsLockedSettingsWinAndRefuseSet) {
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        TAROVEX_SKIP_OR_FAIL("an /etc of the test's own needs root and mount namespaces");
    store({{"delay", "5"}});
    const std::string etc = home_.path().toStdString() + "/etc";
    const auto underLockedEtc = [&](const std::string& args) {
        const std::string script =
            "set -e; mkdir -p '" + etc + "'; mount -t tmpfs none '" + etc + "'; mkdir '" + etc + "/up' '" +
            etc + "/work'; mount -t overlay overlay -o lowerdir=/etc,upperdir='" + etc + "/up',workdir='" +
            etc +
            "/work' /etc; mkdir -p /etc/tarovex; printf 'delay=45\\n' >/etc/tarovex/enforced.conf; exec '" +
            kConsole + "' " + args;
        return std::make_unique<Process>("/usr/bin/unshare",
                                         std::vector<std::string>{"-m", "sh", "-c", script}, env());
    };
    auto refused = underLockedEtc("--set delay=9 " + pty.slavePath());
    EXPECT_EQ(refused->wait(), 2);
    EXPECT_NE(refused->errorText().find(
                  "setting delay is locked by the administrator in /etc/tarovex/enforced.conf (delay=45)"),
              std::string::npos)
        << refused->errorText();
    auto run = underLockedEtc(pty.slavePath());
    EXPECT_TRUE(run->waitForError("Set by the administrator in /etc/tarovex/enforced.conf: delay=45"))
        << run->errorText();
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(), 0);
}

// A preset chosen with --set keeps the stored line settings, and the log says where they
// differ; --preset-defaults takes the preset's (A&D: 2400 7E1, LF) for the run.
TEST_F(Console, PresetDefaultsTakeThePresetsLineSettings) {
    store({{"inputTerminator", "13"}});
    const std::string told = "input terminator 13 (preset: 10); --preset-defaults takes the preset's";
    struct Row {
        std::vector<std::string> options;
        bool tellsMismatch;
        std::string value; // of an A&D line ended by LF; empty: none is read
    } rows[] = {
        {{"--set", "instrument=AND_SIMPLE"}, true, ""},
        {{"--set", "instrument=AND_SIMPLE", "--preset-defaults"}, false, "12.34"},
    };
    for (const Row& r : rows) {
        std::vector<std::string> args = r.options;
        args.push_back(pty.slavePath());
        auto p = startReading(args);
        EXPECT_EQ(p->errorText().find(told) != std::string::npos, r.tellsMismatch) << p->errorText();
        if (!r.value.empty()) {
            pty.write("ST,+00012.34 kg\n");
            EXPECT_EQ(p->readLine(), r.value) << p->errorText();
            EXPECT_NE(p->errorText().find("2400"), std::string::npos) << p->errorText();
        }
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(), 0);
    }
}

TEST_F(Console, TheSharedSettingsFileServesInItsMode) {
    const QString programData = home_.path() + "/programdata";
    ASSERT_TRUE(QDir().mkpath(programData + "/Lumbrix/tarovexQV"));
    QFile prefs(programData + "/Lumbrix/tarovexQV/prefs.txt");
    ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
    prefs.write("com.lumbrix.tarovex.decimalPlaces=1\ncom.lumbrix.tarovex.decimalSeparator=COMMA\n");
    prefs.close();
    auto p = startReading({pty.slavePath()}, {{"EDITION", "QV"}, {"ProgramData", programData.toStdString()}});
    pty.write("12.44\r");
    EXPECT_EQ(p->readLine(), "12,4") << p->errorText();
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0);
}

TEST_F(Console, AVanishedDeviceEndsWithStatusOne) {
    auto p = startReading({pty.slavePath()});
    pty.write("5\r");
    EXPECT_EQ(p->readLine(), "5");
    pty.closeMaster();
    EXPECT_EQ(p->wait(), 1);
    EXPECT_NE(p->errorText().find("was disconnected"), std::string::npos) << p->errorText();
}

// Two instruments, one with its stored profile: each value is tagged with its instrument;
// when one device vanishes the other goes on, and the end says one failed.
TEST_F(Console, SeveralInstrumentsAreReadEachTaggedAndOneThatVanishesEndsAlone) {
    tarolink_test::Pty caliper;
    // "Caliper 2" first: the label is matched whole, not as a part of another.
    store({{"instruments", "Caliper 2,Caliper"},
           {"instruments/Caliper 2/port", "/dev/no-such-port"},
           {"instruments/Caliper/port", QString::fromStdString(caliper.slavePath())},
           {"instruments/Caliper/customRegEx", "C=(.*)\\r"}});
    auto p = start({pty.slavePath(), "--instrument", "Caliper"});
    for (const char* opened : {"RTS: off, DTR: on.", "[Caliper] ", "RTS: off, DTR: on."})
        ASSERT_TRUE(p->waitForError(opened)) << p->errorText();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // both ports flushed
    caliper.write("C=1.25\r");
    EXPECT_EQ(p->readLine(), "Caliper\t1.25");
    pty.write("7\r");
    EXPECT_EQ(p->readLine(), pty.slavePath() + "\t7");
    caliper.closeMaster();
    ASSERT_TRUE(p->waitForError("was disconnected")) << p->errorText();
    pty.write("8\r");
    EXPECT_EQ(p->readLine(), pty.slavePath() + "\t8");
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 1) << p->errorText();
    EXPECT_NE(
        p->errorText().find("[Caliper] The device on port " + caliper.slavePath() + " was disconnected"),
        std::string::npos)
        << p->errorText();
}

TEST_F(Console, APortThatCannotBeOpenedEndsWithStatusOne) {
    auto p = start({home_.path().toStdString() + "/no-such-port"});
    EXPECT_EQ(p->wait(), 1);
    for (const char* part : {"The serial port could not be opened.", "/no-such-port does not exist"})
        EXPECT_NE(p->errorText().find(part), std::string::npos) << part << "\n" << p->errorText();
}

TEST_F(Console, ASystemWithoutSerialDriverEndsWithStatus255) {
    auto p = start({pty.slavePath()}, {{"TLK_OSNAME", "Plan 9"}});
    EXPECT_EQ(p->wait(), 255);
    const std::string log = p->errorText();
    EXPECT_TRUE(everyLogLineIsTimed(log)) << log;
    EXPECT_NE(log.find(" Platform not supported, check VM properties os.name & os.arch\n"), std::string::npos)
        << log;
}

TEST_F(Console, AMissingPortShowsTheSystemsReason) {
    auto p = start({"/dev/no-such-port"});
    EXPECT_EQ(p->wait(), 1);
    EXPECT_NE(p->errorText().find("/dev/no-such-port: SerOpenPort failed: 2: No such device (No such file or "
                                  "directory)\n"),
              std::string::npos)
        << p->errorText();
}

// --type: the values reach the X application that has the focus, in order, each with its
// terminator; an ignored line types nothing; standard output is as without it. The console has
// no clipboard: paste mode says so and types.
TEST_F(Console, TypeTypesEveryValueIntoTheFocusedApplication) {
    tarovex_test::XvfbServer server;
    tarovex_test::XTextRecorder recorder(server.display());
    store({{"outputTerminator", "ENTER"}, {"delay", "2"}, {"outputMode", "paste"}});
    auto p = startReading({"--type", pty.slavePath()}, {{"DISPLAY", server.display()}});
    EXPECT_TRUE(p->waitForError(" Keystroke output: X11 (XTest), layout us (rule: X11 session)\n"))
        << p->errorText();
    EXPECT_TRUE(p->waitForError("Values are typed, not pasted: pasting needs the window's clipboard, which "
                                "the console does not have\n"))
        << p->errorText();
    EXPECT_TRUE(p->waitForError(" Keyboard output started. Keyboard type: QWERTY (US, UK)\n"))
        << p->errorText();
    pty.write("ST,GS,+  12.50 g\rno value\r-3,5\r7\r");
    const std::string expected = "12.50<Return>-3.5<Return>7<Return>";
    EXPECT_EQ(recorder.transcript(expected.size()), expected);
    for (const char* value : {"12.50", "", "-3.5", "7"})
        EXPECT_EQ(p->readLine(), value);
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0);
    EXPECT_TRUE(everyLogLineIsTimed(p->errorText())) << p->errorText();
}

// Four instruments at 20 readings a second each for 10 s through one process and one
// keyboard: every value arrives once, tagged with its own port, in its port's order, and is
// typed whole (no value's characters among another's) into one X window.
TEST_F(Console, FourInstrumentsAtOnceLoseNothingAndTypeEachValueWhole) {
    tarovex_test::XvfbServer server;
    tarovex_test::XTextRecorder recorder(server.display());
    store({{"outputTerminator", "ENTER"}, {"delay", "0"}});
    tarolink_test::Pty ports[4];
    std::vector<std::string> args = {"--type", "--no-line-log"};
    for (auto& port : ports)
        args.push_back(port.slavePath());
    auto p = start(args, {{"DISPLAY", server.display()}});
    for (const auto& port : ports)
        ASSERT_TRUE(p->waitForError("[" + port.slavePath() + "] RTS: off, DTR: on.")) << p->errorText();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // every port flushed
    constexpr int perPort = 200;
    {
        std::vector<std::jthread> senders;
        for (int i = 0; i < 4; ++i)
            senders.emplace_back([&port = ports[i], i] {
                for (int n = 0; n < perPort; ++n) {
                    port.write(std::to_string((i + 1) * 10000 + n) + "\r");
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
    }
    int next[4] = {};
    for (int k = 0; k < 4 * perPort; ++k) {
        const auto line = p->readLine(5000);
        ASSERT_TRUE(line) << "value " << k << " missing\n" << p->errorText();
        const auto tab = line->find('\t');
        ASSERT_NE(tab, std::string::npos) << *line;
        const int value = std::stoi(line->substr(tab + 1)), port = value / 10000 - 1;
        ASSERT_TRUE(port >= 0 && port < 4) << *line;
        EXPECT_EQ(line->substr(0, tab), ports[port].slavePath()) << *line;
        EXPECT_EQ(value % 10000, next[port]++) << "in its port's order: " << *line;
    }
    // Typed: the same values, each whole between two Enters, each port's in order.
    std::string transcript = recorder.transcript(4 * perPort * std::string("10000<Return>").size(), 5000);
    int typedNext[4] = {};
    int typed = 0;
    for (std::size_t at = 0; at < transcript.size();) {
        const std::size_t end = transcript.find("<Return>", at);
        ASSERT_NE(end, std::string::npos) << transcript.substr(at);
        const std::string value = transcript.substr(at, end - at);
        ASSERT_EQ(value.size(), 5u) << "not whole: " << value;
        const int v = std::stoi(value), port = v / 10000 - 1;
        ASSERT_TRUE(port >= 0 && port < 4) << value;
        EXPECT_EQ(v % 10000, typedNext[port]++) << value;
        ++typed;
        at = end + 8;
    }
    EXPECT_EQ(typed, 4 * perPort);
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0) << p->errorText();
}

#ifdef TAROVEX_WAYLAND
// --type in a Wayland session whose compositor offers virtual keyboards: the values reach the
// focused Wayland application, and the log names the rule that chose the backend.
TEST_F(Console, TypeReachesAWaylandApplication) {
    tarovex_test::SwayServer sway;
    if (!sway.available())
        TAROVEX_SKIP_OR_FAIL(sway.reason());
    // A headless compositor has no keyboard of its own; a desktop has the user's.
    tarovex::typing::WaylandKeyOutput userKeyboard({sway.socket(), {}});
    tarovex_test::WaylandTextRecorder recorder(sway.socket());
    store({{"outputTerminator", "ENTER"}, {"delay", "0"}, {"keyboardType", "GERMAN"}});
    auto p = startReading({"--type", pty.slavePath()}, {{"WAYLAND_DISPLAY", sway.socket()}});
    EXPECT_TRUE(
        p->waitForError(" Keystroke output: Wayland virtual keyboard on " + sway.socket() +
                        ", own keymap (rule: Wayland session, the compositor offers virtual keyboards)\n"))
        << p->errorText();
    pty.write("ST,GS,+  12.50 g\r-3,5\r");
    const std::string expected = "12.50<Return>-3.5<Return>";
    EXPECT_EQ(recorder.transcript(expected.size()), expected);
    p->signal(SIGTERM);
    EXPECT_EQ(p->wait(), 0);
}
#endif

// No keystroke output: its reason in the log, status 1, and the port is never opened.
TEST_F(Console, TypeWithoutAnyOutputEndsWithStatusOne) {
    const struct {
        const char* backend;
        std::pair<std::string, std::string> environment;
        std::string reason;
    } rows[] = {
        {"x11", {"DISPLAY", ":4099"}, "X11: Cannot open the X display \":4099\"\n"},
        {"gnome",
         {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
         "GNOME: Cannot connect to the session bus"},
        {"kde",
         {"WAYLAND_DISPLAY", "/nonexistent/wayland-0"},
         "KDE: Cannot connect to the Wayland display \"/nonexistent/wayland-0\"\n"},
        {"portal",
         {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"},
         "portal: Cannot connect to the session bus"},
    };
    for (const auto& r : rows) {
        auto p = start({"--type", "--keyboard-backend", r.backend, pty.slavePath()}, {r.environment});
        EXPECT_EQ(p->wait(), 1);
        EXPECT_NE(p->errorText().find(" The keyboard output could not be started. " + r.reason),
                  std::string::npos)
            << p->errorText();
        EXPECT_EQ(p->errorText().find("RTS:"), std::string::npos) << p->errorText();
    }
}

// A stop while a value is being typed: it completes in its window if it can within a second;
// a slower one is cut short there, its keys released, and the log says so. Either way the
// process ends at once, and nothing of it is typed later.
TEST_F(Console, AStopWhileAValueIsTypedEndsItWithinASecond) {
    tarovex_test::XvfbServer server;
    for (const auto& [delay, typed] : {std::pair{"100", "12<Return>"}, std::pair{"1000", "1"}}) {
        tarovex_test::XTextRecorder recorder(server.display());
        store({{"outputTerminator", "ENTER"}, {"delay", delay}});
        auto p = startReading({"--type", pty.slavePath()}, {{"DISPLAY", server.display()}});
        pty.write("12\r");
        EXPECT_EQ(recorder.transcript(1, 5000), "1");
        p->signal(SIGTERM);
        EXPECT_EQ(p->wait(10000), 0) << p->errorText();
        EXPECT_EQ(recorder.transcript(10, 2000), typed) << delay;
        EXPECT_NE(p->errorText().find("Reading stopped."), std::string::npos) << p->errorText();
        EXPECT_EQ(p->errorText().find("The value 12 was cut short after 1 of its characters") != std::string::npos,
                  std::string(typed) == "1")
            << p->errorText();
    }
}

TEST_F(Console, AStoredNetworkPortIsUsedOnAMachineWithoutLocalPorts) {
    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 1);
    store({{"port", QString("tcp://127.0.0.1:%1").arg(port)}});
    // The machine's serial ports hidden: an empty /sys/class/tty in a mount namespace of its own.
    Process p("/usr/bin/unshare",
              {"-m", "sh", "-c", "mount -t tmpfs none /sys/class/tty || exit 77; exec \"$0\" \"$@\"",
               kConsole, "--no-line-log"},
              env());
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 10000) != 1) {
        ::close(listener);
        if (p.wait() == 77)
            GTEST_SKIP() << "no mount namespace here: " << p.errorText();
        FAIL() << "the console never connected: " << p.errorText();
    }
    const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    ASSERT_GE(c, 0);
    ASSERT_TRUE(p.waitForError("opened")) << p.errorText();
    ASSERT_EQ(::send(c, "12.5\r", 5, MSG_NOSIGNAL), 5);
    EXPECT_EQ(p.readLine(), "12.5") << p.errorText();
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(), 0) << p.errorText();
    ::close(c);
}
