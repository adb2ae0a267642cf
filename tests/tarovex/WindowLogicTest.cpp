// The window's decisions without a display: log rendering, field checks, reading the
// controls, start-up rules, the tab order and the run's start and stop.
#include "tarovex/log/LogLine.h"
#include "tarovex/log/MessageLog.h"
#include "tarovex/run/RunController.h"
#include "tarovex/settings/SettingsForm.h"
#include "tarovex/startup/StartupRules.h"
#include "tarovex/texts/ShellBundle.h"
#include "tests/support/RecordingServices.h"
#include "tests/worker/WorkerTestSupport.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace tarovex;
namespace CH = tarovex::config::ConfigHelper;
using S = LogStyle;

namespace {

reading::DataLine line(const QString& raw, const QString& value) {
    return reading::DataLine(raw, value, 1, reading::DataLine::Instant{}, false);
}

QString timeOf(const reading::DataLine& l) {
    return l.getDateTime().toString(QStringLiteral("HH:mm:ss "));
}

} // namespace

TEST(DataLineLog, ValueFoundByThreeSearchesOrShownWhole) {
    struct Row {
        QString raw, value;
        QList<std::pair<QString, S>> spansAfterTime; // empty: the whole line in `whole`
        S whole;
    } rows[] = {
        {"ST,GS,+12.50kg\r\n",
         "12.50",
         {{"ST,GS,+", S::Ignored}, {"12.50", S::Typed}, {"kg<13><10>\n", S::Ignored}},
         S::Regular},
        {"ST,GS,+12.50kg\r\n",
         "12,50",
         {{"ST,GS,+", S::Ignored}, {"12.50", S::Typed}, {"kg<13><10>\n", S::Ignored}},
         S::Regular},
        {"W 3,5 g\r", "3.5", {{"W ", S::Ignored}, {"3,5", S::Typed}, {" g<13>\n", S::Ignored}}, S::Regular},
        {"7\r", "7", {{"7", S::Typed}, {"<13>\n", S::Ignored}}, S::Regular},
        {"ST +12.50\r", "25.00", {}, S::Unknown}, // changed by the math operation
        {"\x02"
         "12.5\r",
         "12.5",
         {},
         S::Unknown}, // found only after a control token
        {"OL\r", "", {}, S::Ignored},
    };
    for (const Row& r : rows) {
        const auto l = line(r.raw, r.value);
        LogLine expected;
        if (r.spansAfterTime.isEmpty()) {
            expected = {{timeOf(l) + l.getReadable() + u'\n', r.whole}};
        } else {
            expected = {{timeOf(l), S::Regular}};
            for (const auto& [t, s] : r.spansAfterTime)
                expected.append({t, s});
        }
        EXPECT_EQ(dataLineLog(l), expected) << r.raw.toStdString() << " / " << r.value.toStdString();
    }
}

TEST(MessageLog, KeepsTheNewestLinesAndHandsThemOverInOneBatch) {
    worker_test::application();
    MessageLog log(3);
    int batches = 0;
    QList<LogLine> got;
    QObject::connect(&log, &MessageLog::linesReady, [&] {
        ++batches;
        got += log.takePending();
    });
    for (int i = 0; i < 5; ++i)
        log.append({{QString::number(i), S::Regular}});
    QEventLoop loop;
    QTimer::singleShot(MessageLog::batchIntervalMs * 4, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(batches, 1);
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got.first().first().text, "2");
    EXPECT_EQ(log.droppedLines(), 2);
}

TEST(FieldChecks, LimitsOfEveryField) {
    struct Row {
        const char* field;
        QString text;
        const char* error; // nullptr: valid
    } rows[] = {
        {"delay", "1001", "error.intercharacter.delay"},
        {"delay", "-1", "error.intercharacter.delay"},
        {"delay", "1000", nullptr},
        {"delay", "", nullptr},
        {"everyXValues", "1", "error.edit.everyXValues"},
        {"everyXValues", "2", nullptr},
        {"everyXValues", "99", nullptr},
        {"everyXValues", "100", "error.edit.everyXValues"},
        {"decimalPlaces", "7", nullptr},
        {"decimalPlaces", "8", "error.decimal.places"},
        {"editNumCharacters", "0", "error.edit.numCharacters"},
        {"editNumCharacters", "99", nullptr},
        {"removeCharacters", "ab\u00ff", nullptr},
        {"removeCharacters", "a\u0100", "error.edit.removeCharacters"},
        {"mathOperand", "0", "error.math.operand"},
        {"mathOperand", "0,5", nullptr},
        {"mathOperand", "x", "error.math.operand"},
        {"mathOperand", "", nullptr},
        {"journalDays", "0", "error.journal.days"},
        {"journalMaxMB", "1000001", "error.journal.size"},
        {"station", "hall/2", "error.station"},
        {"station", "Wägeplatz 2", nullptr},
        {"requestHotkey", "R", "error.request.hotkey"},
        {"requestHotkey", "Ctrl+Alt+R", nullptr},
    };
    for (const Row& r : rows) {
        const auto e = fieldError(r.field, r.text);
        EXPECT_EQ(e.value_or(QString()), QString::fromLatin1(r.error ? r.error : "")) << r.text.toStdString();
    }
    EXPECT_EQ(storedFieldText("mathOperand", "0,5"), "0.5");
}

TEST(FieldChecks, InputTerminatorAndDialogChecks) {
    EXPECT_EQ(parseInputTerminator("13"), 13);
    EXPECT_EQ(parseInputTerminator(CH::InputTerminator::LF.toString()), 10);
    EXPECT_EQ(parseInputTerminator("256"), std::nullopt);
    EXPECT_EQ(parseInputTerminator("-1"), std::nullopt);
    struct IgnoreRow {
        QString time, diff;
        bool ok;
    } ignoreRows[] = {{"0", "", false},   {"-5", "", false}, {"1,5", "", false}, {"1500", "", true},
                      {"", "0,05", true}, {"", "0", false},  {"", "", true}};
    for (const auto& r : ignoreRows)
        EXPECT_EQ(!ignoreDialogError(r.time, r.diff), r.ok)
            << r.time.toStdString() << " " << r.diff.toStdString();
    EXPECT_EQ(ignoreDifferenceText("0,05"), "0.05");
    struct RegexRow {
        QString expression;
        bool ok;
    } regexRows[] = {{"[0-9]+", false}, {"([0-9]+)", true}, {"\\(x\\)", false}, {"(", false}, {"", true}};
    for (const auto& r : regexRows)
        EXPECT_EQ(!customRegExError(r.expression), r.ok) << r.expression.toStdString();
}

TEST(ReadingControls, CorrectionsAndDialogs) {
    using K = Notice::Kind;
    struct Row {
        const char* what;
        std::function<void(TabValues&)> set;
        bool closing;
        QList<Notice> notices;
        std::function<bool(const TabValues&, const config::Config&)> holds;
    } rows[] = {
        {"ALL with delay 2",
         [](TabValues& t) {
             t["keyboardType"] = CH::KeyboardType::ALL.name();
             t["delay"] = "2";
         },
         false,
         {{K::Info, "info", "info.delay.keyboard.all"}},
         [](const TabValues& t, const config::Config& c) {
             return t["delay"] == "3" && c.getDelay() == "3";
         }},
        {"ALL with delay 3",
         [](TabValues& t) {
             t["keyboardType"] = CH::KeyboardType::ALL.name();
             t["delay"] = "3";
         },
         false,
         {},
         [](const TabValues& t, const config::Config&) { return t["delay"] == "3"; }},
        {"journal kept 0 days",
         [](TabValues& t) { t["journalDays"] = "0"; },
         false,
         {{K::Error, "error", "error.journal.days"}},
         [](const TabValues& t, const config::Config& c) {
             return t["journalDays"] == "30" && c.record.journalDays == "30";
         }},
        {"delay 1001",
         [](TabValues& t) { t["delay"] = "1001"; },
         false,
         {{K::Error, "error", "error.intercharacter.delay"}},
         [](const TabValues& t, const config::Config& c) {
             return t["delay"] == "20" && c.getDelay() == "20";
         }},
        {"operation without operand",
         [](TabValues& t) { t["mathOperation"] = CH::MathOperation::MULTIPLY.name(); },
         false,
         {},
         [](const TabValues& t, const config::Config& c) {
             return t["mathOperation"] == CH::MathOperation::NONE.name() &&
                    c.getMathOperation() == CH::MathOperation::NONE;
         }},
        {"terminator 256",
         [](TabValues& t) { t["inputTerminator"] = "256"; },
         false,
         {{K::Error, "error", "terminator.must.be.between.0.and.255"}},
         [](const TabValues& t, const config::Config& c) {
             return c.getInputTerminator() == 13 && t["inputTerminator"] != "256";
         }},
        {"operand 0,5",
         [](TabValues& t) { t["mathOperand"] = "0,5"; },
         false,
         {},
         [](const TabValues&, const config::Config& c) { return c.getMathOperand() == "0.5"; }},
        {"reconnect on",
         [](TabValues& t) { t["reconnect"] = "true"; },
         false,
         {},
         [](const TabValues& t, const config::Config& c) { return t["reconnect"] == "true" && c.reconnect; }},
        {"invalid field while closing",
         [](TabValues& t) { t["removeCharacters"] = "\u0100"; },
         true,
         {},
         [](const TabValues& t, const config::Config& c) {
             return t["removeCharacters"].isEmpty() && c.getRemoveCharacters().isEmpty();
         }},
    };
    for (const Row& r : rows) {
        config::Config c;
        c.setInputTerminator(13);
        TabValues t = tabValuesFrom(c);
        r.set(t);
        const TabsUpdate u = updateConfigFromTabs(t, c, r.closing, false);
        EXPECT_EQ(u.notices, r.notices) << r.what;
        EXPECT_TRUE(r.holds(u.controls, c)) << r.what;
    }
}

TEST(ReadingControls, RoundingDialogOncePerAttempt) {
    config::Config c;
    TabValues t = tabValuesFrom(c);
    t["mathOperation"] = CH::MathOperation::DIVIDE.name();
    t["mathOperand"] = "2";
    EXPECT_TRUE(updateConfigFromTabs(t, c, false, false).roundingDialog);
    EXPECT_FALSE(updateConfigFromTabs(t, c, false, true).roundingDialog); // still open
    t["decimalPlaces"] = "2";
    EXPECT_FALSE(updateConfigFromTabs(t, c, false, false).roundingDialog);
}

TEST(StartupRules, CommandLinePortAndAutoStart) {
    EXPECT_EQ(commandLinePort({}), std::nullopt);
    EXPECT_EQ(commandLinePort({""}), std::nullopt);
    EXPECT_EQ(commandLinePort({"COM7", "x"}), "COM7");
    struct Row {
        CH::Connect connect;
        bool abort, fromCommandLine;
        QString port, prev;
        AutoStart expected;
    } rows[] = {
        {CH::Connect::MANUAL, true, false, "a", "b", AutoStart::None},
        {CH::Connect::AUTO, true, false, "a", "b", AutoStart::AbortPortGone},
        {CH::Connect::AUTO, false, false, "a", "b", AutoStart::Start},
        {CH::Connect::AUTO, true, true, "a", "b", AutoStart::Start},
        {CH::Connect::AUTO, true, false, "a", "a", AutoStart::Start},
    };
    for (const Row& r : rows) {
        config::Config c;
        c.setConnect(r.connect);
        c.abortAutoStartWhenPrevPortNotAvailable = r.abort;
        c.setPort(r.port);
        c.setPrevPort(r.prev);
        EXPECT_EQ(decideAutoStart(c, r.fromCommandLine), r.expected)
            << r.port.toStdString() << r.prev.toStdString();
    }
    config::Config c;
    EXPECT_TRUE(startsUpdateCheck(c, 0));
    EXPECT_FALSE(startsUpdateCheck(c, 1));
    c.checkForUpdates = false;
    EXPECT_FALSE(startsUpdateCheck(c, 0));
}

TEST(Tabs, AutosaveTabsAndRemovalRestoresOrder) {
    const QList<bool> autosaves = {false, true, true, true, false, false, true};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(autosavesOnLeaving(allTabs()[i]), autosaves[i]) << i;

    struct ListOps : TabOps {
        QList<TabId> tabs = allTabs();
        void removeTab(int i) override { tabs.removeAt(i); }
        void insertTab(int i, TabId t) override { tabs.insert(i, t); }
    } ops;
    switchTabs(true, ops);
    EXPECT_EQ(ops.tabs, (QList<TabId>{TabId::Start, TabId::Log, TabId::About}));
    switchTabs(false, ops);
    EXPECT_EQ(ops.tabs, allTabs());
}

TEST(ShellBundle, CompleteAndAMissingKeyFound) {
    EXPECT_EQ(checkResourceBundles(programBundles()), std::nullopt);
    const auto missing = checkResourceBundles({{shellBundleName, {"error", "no.such.key"}}});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->key, "no.such.key");
    EXPECT_TRUE(checkResourceBundles({{"tarovex.no.such.bundle", {"x"}}}));
}

namespace {
struct RecordingNotifier : Notifier {
    QStringList shown;
    void show(Kind, const QString& title, const QString& message) override {
        shown.append(title + ": " + message);
    }
};
} // namespace

TEST(RunController, FailedOutputsAndPortEndTheStartCleanly) {
    worker_test::application();
    config::Config c;
    c.setPort("/dev/tarovex-no-such-port");
    c.setSound(CH::Sound::COWBELL);
    RunServices s = tarovex_test::recordingServices();
    s.makeTyper = [](const config::Config&, reading::EventLog&) -> std::unique_ptr<ValueTyper> {
        throw std::runtime_error("no display");
    };
    s.capsLockOn = [] { return std::optional<bool>(true); };
    RecordingNotifier n;
    MessageLog log;
    RunController run(c, s, n, log);
    QStringList failed;
    QObject::connect(&run, &RunController::startFailed, [&](const QString& m) { failed.append(m); });
    ASSERT_TRUE(run.start()) << "the port opens in the background";
    ASSERT_TRUE(worker_test::runUntil([&] { return !failed.isEmpty(); }));
    EXPECT_FALSE(run.isOpening());
    ASSERT_EQ(n.shown.size(), 3);
    EXPECT_EQ(n.shown[0], text("error") + ": " +
                              worker::workerBundle().getString(
                                  worker::WorkerMessages::ERROR_INITIALIZING_KEYBOARD_OUTPUT) +
                              "no display");
    EXPECT_EQ(n.shown[1], text("warning") + ": " + text("please.turn.off.caps.lock"));
    EXPECT_EQ(n.shown[2], text("error.opening.port") + ": " + failed.value(0));
    EXPECT_TRUE(
        n.shown[2].endsWith("\n/dev/tarovex-no-such-port does not exist: check the port name, and that "
                            "the device is connected."))
        << n.shown[2].toStdString();
    EXPECT_EQ(run.sound(), nullptr); // dropped with the failed start
    EXPECT_FALSE(run.isConnected());
}

TEST(RunController, LinesOnAPtyGoThroughFilterSoundLogAndTyper) {
    worker_test::application();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    config::Config c = config::Config::defaultsOf(CH::Instrument::GENERIC);
    c.setInstrument(CH::Instrument::GENERIC);
    c.setPort(QString::fromLatin1(::ptsname(master)));
    c.setSound(CH::Sound::COWBELL);
    c.ignoreDuplicates = true;
    RunServices s = tarovex_test::recordingServices();
    tarovex_test::RecordingTyper* typer = nullptr;
    tarovex_test::RecordingSound* sound = nullptr;
    s.makeTyper = [&](const config::Config&, reading::EventLog&) {
        auto t = std::make_unique<tarovex_test::RecordingTyper>();
        t->describedAs = QStringLiteral("Keystroke output: recording");
        typer = t.get();
        return t;
    };
    s.makeSound = [&](int) {
        auto t = std::make_unique<tarovex_test::RecordingSound>();
        sound = t.get();
        return t;
    };
    RecordingNotifier n;
    MessageLog log;
    RunController run(c, s, n, log);
    QStringList statuses;
    QObject::connect(&run, &RunController::statusChanged, [&](const QString& t) { statuses.append(t); });
    ASSERT_TRUE(run.start()) << n.shown.join("\n").toStdString();
    ASSERT_TRUE(worker_test::runUntil([&] { return run.isConnected(); })) << n.shown.join("\n").toStdString();
    QStringList started;
    for (const LogLine& line : log.takePending())
        started.append(line.first().text.mid(9)); // without the time
    EXPECT_EQ(
        started.mid(started.size() - 2),
        (QStringList{worker::workerBundle().getString(worker::WorkerMessages::KEYBOARD_OUTPUT_STARTED_TYPE) +
                         " QWERTY (US, UK)\n",
                     "Keystroke output: recording\n"}));
    const char data[] = "12.5\r12.5\r7\r";
    ASSERT_EQ(::write(master, data, sizeof data - 1), ssize_t(sizeof data - 1));
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (statuses.size() >= 3)
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(typer->values, (QStringList{"12.5", "7"})); // the repeat was filtered
    EXPECT_EQ(sound->plays, 2);
    EXPECT_EQ(statuses.last(), text("line.count") + "3");
    EXPECT_TRUE(run.isConnected());
    poll.stop(); // it would end the next wait at its first tick
    run.stop();
    EXPECT_EQ(run.typer(), nullptr);
    EXPECT_TRUE(worker_test::runUntil([&] { return !run.isConnected(); }));
    ::close(master);
}
