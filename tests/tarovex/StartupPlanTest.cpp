// Start-up without a display: which ports the window offers and what it tells the user.
#include "tarovex/startup/StartupPlan.h"
#include "tarovex/ports/PortList.h"
#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/PreferencesXml.h"
#include "tarovex/settings/SettingsTransfer.h"
#include "tarovex/startup/DesktopAutostart.h"
#include "tarovex/texts/ShellBundle.h"
#include "tests/Tarolink/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarovex;
using ports::PortChoice;

TEST(PortChoices, ListedPortsThenTheKeptOnesMarkedMissing) {
    const tarolink_test::Pty pty; // present, though no listing names a pseudo-terminal
    const QString ptyPath = QString::fromStdString(pty.slavePath());
    const QList<PortChoice> listed = {{"/dev/ttyS0", "/dev/ttyS0", true},
                                      {"/dev/ttyUSB0", "/dev/ttyUSB0: FTDI - FT232R", true}};
    const struct {
        QStringList keep;
        QStringList texts;
    } rows[] = {
        {{}, {"/dev/ttyS0", "/dev/ttyUSB0: FTDI - FT232R"}},
        {{"/dev/ttyUSB0", ""}, {"/dev/ttyS0", "/dev/ttyUSB0: FTDI - FT232R"}},
        {{"/dev/pts/7777", "/dev/pts/7777", "tcp://127.0.0.1:4001", ptyPath},
         {"/dev/ttyS0", "/dev/ttyUSB0: FTDI - FT232R", "/dev/pts/7777 (not present)", "tcp://127.0.0.1:4001",
          ptyPath}},
    };
    for (const auto& r : rows) {
        QStringList texts;
        for (const PortChoice& c : ports::portChoices(listed, r.keep))
            texts.append(ports::choiceText(c));
        EXPECT_EQ(texts, r.texts) << r.keep.join(',').toStdString();
    }
}

TEST(RecentAddresses, TheLatestNetworkPortComesFirstUpToTheLimit) {
    const QStringList full = {"tcp://a:1", "tcp://b:1", "tcp://c:1", "tcp://d:1", "tcp://e:1"};
    const struct {
        QStringList recent;
        QString port;
        QStringList expected;
    } rows[] = {
        {{}, "/dev/ttyUSB0", {}},
        {{"tcp://a:1"}, "tcp://a", {"tcp://a:1"}}, // malformed: not remembered
        {{"tcp://a:1"}, "rfc2217://[::1]:2217", {"rfc2217://[::1]:2217", "tcp://a:1"}},
        {full, "tcp://c:1", {"tcp://c:1", "tcp://a:1", "tcp://b:1", "tcp://d:1", "tcp://e:1"}},
        {full, "tcp://z:1", {"tcp://z:1", "tcp://a:1", "tcp://b:1", "tcp://c:1", "tcp://d:1"}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ports::rememberAddress(r.recent, r.port), r.expected) << r.port.toStdString();
        EXPECT_EQ(ports::parseAddresses(ports::addressesText(r.expected)), r.expected)
            << "stored and read back";
    }
}

TEST(StartupPlan, PortsFromTheCommandLineOrTheListing) {
    const auto listing = [](ports::PortListing l) { return [l] { return l; }; };
    ports::PortListing missing;
    missing.libraryMissing = true;
    missing.system = " (Linux amd64)";
    ports::PortListing failed;
    failed.failure = "permission denied";
    const ports::PortListing none;
    ports::PortListing one;
    one.ports = {{"/dev/ttyUSB0", "/dev/ttyUSB0", true}};
    const struct {
        QStringList arguments;
        ports::PortListing listed;
        QStringList ports;
        std::optional<int> exit;
        QString message; // the start of the one message, or empty for none
    } rows[] = {
        {{"/dev/pts/3"}, missing, {"/dev/pts/3"}, std::nullopt, ""}, // no listing at all
        {{""}, one, {"/dev/ttyUSB0"}, std::nullopt, ""},
        {{}, missing, {}, 2, text("library.tlkwin.not.found.or.not.matching.your.system") + " (Linux amd64)"},
        {{}, failed, {}, std::nullopt, text("error.listing.available.ports") + "permission denied"},
        {{}, none, {}, 1, text("no.rs.232.port.found.on.your.system.program.will.now.exit")},
    };
    for (const auto& r : rows) {
        const StartupPlan plan = planPorts(r.arguments, listing(r.listed));
        EXPECT_EQ(ports::choiceNames(plan.ports), r.ports) << r.message.toStdString();
        EXPECT_EQ(plan.exitStatus, r.exit) << r.message.toStdString();
        ASSERT_EQ(plan.messages.size(), r.message.isEmpty() ? 0 : 1) << r.message.toStdString();
        if (!r.message.isEmpty()) {
            EXPECT_TRUE(plan.messages[0].text.startsWith(r.message)) << plan.messages[0].text.toStdString();
        }
    }
    // A station with only network ports goes on without local ones.
    const StartupPlan network = planPorts({}, listing(none), {"tcp://127.0.0.1:4001"});
    EXPECT_EQ(network.exitStatus, std::nullopt);
    EXPECT_TRUE(network.messages.isEmpty());
}

TEST(StartupPlan, LoadingNamesEachRefusedSettingAndKeepsTheStoredPortWhenListingFailed) {
    QTemporaryDir dir;
    auto root = prefs::FilePreferences::createRoot(dir.filePath("prefs.txt"));
    prefs::Preferences* node = root->node("/com/lumbrix/tarovex");
    node->put("port", "/dev/ttyUSB3");
    node->put("bitRate", "99");
    node->put("delay", "x");
    SettingsSession session(node);
    StartupPlan plan; // the listing failed: no ports
    loadSettings(plan, session, std::nullopt);
    EXPECT_EQ(session.config().getPort(), "/dev/ttyUSB3");
    ASSERT_EQ(plan.messages.size(), 1);
    EXPECT_TRUE(plan.messages[0].text.contains("bitRate = 99\ndelay = x"))
        << plan.messages[0].text.toStdString();

    SettingsSession none(nullptr);
    StartupPlan cli;
    cli.commandLinePort = "/dev/pts/9";
    loadSettings(cli, none, QString("no home folder"));
    EXPECT_EQ(none.config().getPort(), "/dev/pts/9");
    ASSERT_EQ(cli.messages.size(), 1);
    EXPECT_TRUE(cli.messages[0].text.contains("cannot be opened")) << cli.messages[0].text.toStdString();
    EXPECT_TRUE(cli.messages[0].text.endsWith("no home folder"));
}

TEST(SettingsImport, NamesEachRefusedSettingWithItsValue) {
    QTemporaryDir dir;
    auto root = prefs::FilePreferences::createRoot(dir.filePath("prefs.txt"));
    prefs::Preferences* node = root->node("/com/lumbrix/tarovex");
    node->put("bitRate", "99");
    node->put("sound", "LOUD");
    node->put("delay", "20");
    const QString file = dir.filePath("settings.xml");
    prefs::exportNodeToFile(*node, file);
    const TransferResult r = importSettings(*node, file);
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_TRUE(r.message.startsWith("These imported settings are invalid and will get their defaults:\n"
                                     "bitRate = 99\nsound = LOUD\n\n"))
        << r.message.toStdString();
}

// The autostart entry: written valid (by the desktop's own checker where it is installed),
// switched off by a desktop's Hidden=true, removed; a folder that cannot be made is said.
TEST(DesktopAutostart, TheEntryIsWrittenValidAndRemoved) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/autostart/tarovex.desktop");
    const QString program = QStringLiteral("/opt/My Apps/tarovex");
    ASSERT_EQ(tarovex::setStartWithDesktop(true, program, file), std::nullopt);
    EXPECT_TRUE(tarovex::startsWithDesktop(file));
    QFile entry(file);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("Exec=\"/opt/My Apps/tarovex\" --with-desktop\n")) << text.toStdString();
    entry.close();
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {file});
    if (validate.waitForFinished(10000))
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
    ASSERT_TRUE(entry.open(QIODevice::Append));
    entry.write("Hidden=true\n");
    entry.close();
    EXPECT_FALSE(tarovex::startsWithDesktop(file));
    EXPECT_EQ(tarovex::setStartWithDesktop(false, program, file), std::nullopt);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(tarovex::setStartWithDesktop(false, program, file), std::nullopt) << "nothing to remove";
    QFile blocker(dir.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_NE(tarovex::setStartWithDesktop(true, program, blocker.fileName() + QStringLiteral("/x.desktop")),
              std::nullopt);
}
