// A station's further instruments on real pseudo-terminals, kept in a real settings store.
#include "tarovex/station/StationInstruments.h"
#include "PrefsTestSupport.h"
#include "config/SettingsTable.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/run/X11GlobalHotkey.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/XvfbServer.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Last: Xlib's macros would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace tarovex;
using State = StationInstruments::State;

namespace {

struct Notices : Notifier {
    QStringList shown;
    void show(Kind, const QString& title, const QString& message) override { shown.append(title + message); }
};

// Every text the log was given so far.
QString logText(MessageLog& log) {
    QString text;
    for (const LogLine& line : log.takePending())
        for (const LogSpan& span : line)
            text += span.text;
    return text;
}

} // namespace

// Added instruments keep their labels and ports (never one port for two), come back from the
// store in order, read each on its own (one that vanishes ends alone) with log lines that name
// them; a running one keeps its label, a stopped one can be renamed, a removed one is gone.
TEST(StationInstruments, EachInstrumentReadsOnItsOwnAndIsKeptInTheStore) {
    worker_test::application();
    QTemporaryDir dir;
    const prefs_test::StoreOpener open = prefs_test::fileStore().make(dir.path());
    auto root = open();
    prefs::Preferences* node = root->node(prefs::settingsNodePath);
    tarolink_test::Pty ptyA, ptyB;
    const QString a = QString::fromStdString(ptyA.slavePath()), b = QString::fromStdString(ptyB.slavePath());
    MessageLog log;
    Notices notices;
    {
        StationInstruments station(node, {}, notices, log);
        const struct {
            QString label, port;
            QStringList takenPorts;
            QString error;
        } adds[] = {{"Caliper", a, {}, ""},
                    {"caliper", b, {}, "Another instrument is labelled caliper"},
                    {"Scanner", a, {}, "Another instrument reads " + a + ": one port serves one instrument"},
                    {"Scanner", b, {b}, "Another instrument reads " + b + ": one port serves one instrument"},
                    {"Scanner", b, {}, ""}};
        for (const auto& r : adds)
            EXPECT_EQ(station.add(r.label, r.port, {"Balance"}, r.takenPorts), r.error)
                << r.label.toStdString();
        EXPECT_EQ(station.add("Balance", "/dev/ttyS9", {"Balance"}, {}),
                  "Another instrument is labelled Balance");
    }
    root = open();
    node = root->node(prefs::settingsNodePath);
    StationInstruments station(node, {}, notices, log);
    station.load();
    ASSERT_EQ(station.labels(), (QStringList{"Caliper", "Scanner"}));
    EXPECT_EQ(station.ports(), (QStringList{a, b}));
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(station.start(i), QString()) << notices.shown.join('\n').toStdString();
    ASSERT_TRUE(worker_test::runUntil(
        [&] { return station.state(0) == State::Reading && station.state(1) == State::Reading; }));
    ptyA.write("12.5\r");
    ptyB.write("7\r");
    ASSERT_TRUE(worker_test::runUntil(
        [&] { return station.at(0).last.hasValue() && station.at(1).last.hasValue(); }));
    EXPECT_EQ(station.at(0).last.shown().value, "12.5");
    EXPECT_EQ(station.at(1).last.shown().value, "7");
    QString text;
    worker_test::runUntil([&] {
        text += logText(log);
        return text.contains("[Caliper] 12.5") && text.contains("[Scanner] 7");
    });
    EXPECT_TRUE(text.contains(QRegularExpression("\\d\\d:\\d\\d:\\d\\d \\[Caliper\\] 12.5<13>")))
        << text.toStdString();
    EXPECT_TRUE(text.contains("[Scanner] 7<13>")) << text.toStdString();

    ptyA.closeMaster();
    ASSERT_TRUE(worker_test::runUntil([&] { return station.state(0) == State::Ended; }));
    EXPECT_TRUE(station.stateText(0).contains("disconnected")) << station.stateText(0).toStdString();
    EXPECT_EQ(station.state(1), State::Reading);
    EXPECT_EQ(station.rename(1, "Reader", {}), "Stop Scanner first");
    station.stop(1);
    ASSERT_TRUE(worker_test::runUntil([&] { return station.state(1) == State::Stopped; }));
    EXPECT_EQ(station.rename(1, "Reader", {}), "");
    station.remove(0);
    ASSERT_TRUE(worker_test::runUntil([&] { return station.count() == 1; }));
    root = open();
    node = root->node(prefs::settingsNodePath);
    StationInstruments reopened(node, {}, notices, log);
    reopened.load();
    EXPECT_EQ(reopened.labels(), QStringList{"Reader"});
    EXPECT_EQ(reopened.ports(), QStringList{b});
}

// Each instrument takes its own request key from the desktop (a real X server): a press asks
// that instrument alone.
TEST(StationInstruments, EachInstrumentsRequestKeyAsksItAlone) {
    worker_test::application();
    tarovex_test::XvfbServer x;
    QTemporaryDir dir;
    auto root = prefs_test::fileStore().make(dir.path())();
    tarolink_test::Pty ptys[2];
    MessageLog log;
    Notices notices;
    RunServices services;
    services.makeHotkey = [&] { return std::make_unique<X11GlobalHotkey>(x.display()); };
    StationInstruments station(root->node(prefs::settingsNodePath), services, notices, log);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(station.add(QString("I%1").arg(i), QString::fromStdString(ptys[i].slavePath()), {}, {}),
                  "");
        ASSERT_TRUE(config::applySetting(station.settingsOf(i), "requestCommand", QString("R%1\\r").arg(i)));
        ASSERT_TRUE(
            config::applySetting(station.settingsOf(i), "requestHotkey", QString("Ctrl+Alt+%1").arg(i)));
        ASSERT_EQ(station.start(i), "");
    }
    QString said;
    ASSERT_TRUE(worker_test::runUntil([&] { return (said += logText(log)).count("Ctrl+Alt+") == 2; }))
        << said.toStdString();
    Display* d = XOpenDisplay(x.display().c_str());
    ASSERT_NE(d, nullptr);
    for (const KeySym k : {XK_Control_L, XK_Alt_L, XK_1})
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), True, CurrentTime);
    for (const KeySym k : {XK_1, XK_Alt_L, XK_Control_L})
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, k), False, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
    std::string asked[2];
    worker_test::runUntil([&] {
        for (int i = 0; i < 2; ++i)
            for (const std::uint8_t b : ptys[i].read(1, 0))
                asked[i] += char(b);
        return asked[1] == "R1\r";
    });
    EXPECT_EQ(asked[1], "R1\r");
    EXPECT_EQ(asked[0], "") << "the other instrument was not asked";
    for (int i = 0; i < 2; ++i)
        station.stop(i);
}
