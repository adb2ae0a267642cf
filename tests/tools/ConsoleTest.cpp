// The console front end as a user runs it: the built program on a real pseudo-terminal,
// with its settings in a temporary home.
#include "ProcessSupport.h"
#include "tarovex/Version.h"
#include "tests/Tarolink/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tools_test::Process;

namespace {

const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

class Console : public ::testing::Test {
protected:
    std::map<std::string, std::string> env() const {
        const QString home = home_.path();
        return {{"HOME", home.toStdString()},
                {"XDG_CONFIG_HOME", (home + "/config").toStdString()},
                {"PATH", "/usr/bin:/bin"},
                {"LANG", "C.UTF-8"}};
    }

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
         {"Usage: tarovex-console [OPTIONS] [PORT]", "--set KEY=VALUE", "Exit status", "SIGTERM"})
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
        {{"--set", "noSuchKey=1"}, "unknown setting 'noSuchKey'"},
        {{"--set", "port=/dev/ttyS0"}, "unknown setting 'port'"},
        {{"--set", "decimalPlaces"}, "--set needs KEY=VALUE"},
        {{"--set"}, "--set needs KEY=VALUE"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"/dev/a", "/dev/b"}, "only one port"},
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
                                 "opened: 9600 bit/s, 8 data bits, 1 stop bits, parity NONE.",
                                 "RTS: off, DTR: on. DSR: off, CTS: off.",
                                 " ST,GS,+  12.50 g<13>\n",
                                 " <176> 7<13>\n",
                                 "Reading stopped.\n"};
    for (const std::string& part : parts)
        EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log;
    EXPECT_TRUE(p->remainingOutput().empty()) << "values only on standard output";
}

TEST_F(Console, SigintStopsToo) {
    auto p = startReading({"--no-line-log", pty.slavePath()});
    pty.write("1\r");
    EXPECT_EQ(p->readLine(), "1");
    p->signal(SIGINT);
    EXPECT_EQ(p->wait(), 0);
    EXPECT_EQ(p->errorText().find("<13>"), std::string::npos) << "no line log asked for";
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

TEST_F(Console, APortThatCannotBeOpenedEndsWithStatusOne) {
    auto p = start({home_.path().toStdString() + "/no-such-port"});
    EXPECT_EQ(p->wait(), 1);
    EXPECT_NE(p->errorText().find("The serial port could not be opened."), std::string::npos)
        << p->errorText();
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
