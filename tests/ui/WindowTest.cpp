// The window on the offscreen platform: start-up check, a run on a pseudo-terminal, the tabs
// while running, export and import through the buttons' code. With TAROVEX_SCREENSHOT_DIR
// set, the Screens test writes every tab as a PNG there (tools/screenshots.sh).
#include "Tarolink/Diagnostics.h"
#include "UiTestSupport.h"
#include "journal/JournalDb.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/startup/Version.h"
#include "tarovex/station/InstrumentProfiles.h"
#include "tarovex/ui/AutoPortDialog.h"
#include "tarovex/ui/InstrumentDialog.h"
#include "tarovex/ui/InstrumentsPanel.h"
#include "tarovex/ui/LogView.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/PublishDialog.h"
#include "tarovex/ui/RazezaRoZurFrame2.h"
#include "tarovex/ui/ReadingPanel.h"
#include "tarovex/ui/SettingsDialogs.h"
#include "tarovex/ui/Startup.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/Ser2netServer.h"
#include "tests/XvfbServer.h"
#include "tests/journal/MosquittoSupport.h"
#include "tests/support/RecordingServices.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <thread>

#include <poll.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace tarovex;

namespace {

bool runUntil(const std::function<bool()>& done, int ms = 10000) {
    return ui_test::runUntil(done, ms);
}

struct RecordingNotifier : Notifier {
    QStringList shown;
    bool modal = false; // as a message box, which runs the event loop while it shows
    void show(Kind, const QString& title, const QString& message) override {
        shown.append(title + ": " + message);
        if (modal)
            QApplication::processEvents();
    }
};

struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    Pty() {
        ::grantpt(master);
        ::unlockpt(master);
    }
    ~Pty() { ::close(master); }
    QString path() const { return QString::fromLatin1(::ptsname(master)); }
    void send(const char* s) { EXPECT_EQ(::write(master, s, strlen(s)), ssize_t(strlen(s))); }
    // What the program sent so far, without waiting.
    std::string receive() {
        std::string got;
        char buffer[256];
        for (pollfd p{master, POLLIN, 0}; ::poll(&p, 1, 0) > 0;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, std::size_t(n));
        }
        return got;
    }
};

// A window on a settings file of its own.
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<prefs::Preferences> root;
    RecordingNotifier notifier;
    QList<int> exits;
    QStringList asked;
    QString chosenFile;
    ports::PortListing listed; // what Refresh finds
    std::unique_ptr<ui::RazezaRoZurFrame2> frame;

    // `stored`: settings in the store before the start, as {key, value}.
    explicit Window(const QString& port, const QList<std::pair<QString, QString>>& stored = {}) {
        ui_test::application();
        root = prefs::FilePreferences::createRoot(dir.filePath("prefs.txt"));
        ui::FrameOptions o;
        o.arguments = {port};
        o.services = tarovex_test::recordingServices();
        o.settingsNode = root->node(QString::fromLatin1(prefs::settingsNodePath));
        for (const auto& [key, value] : stored)
            o.settingsNode->put(key, value);
        o.notifier = &notifier;
        o.ask = [this](const QString& t, const QString&) {
            asked.append(t);
            return true;
        };
        o.chooseFile = [this](bool, const QString&) { return chosenFile; };
        o.exit = [this](int s) { exits.append(s); };
        o.listPorts = [this] { return listed; };
        frame = std::make_unique<ui::RazezaRoZurFrame2>(std::move(o));
        EXPECT_EQ(frame->startUp(), std::nullopt);
    }
    QStringList tabTitles() const {
        QStringList t;
        for (int i = 0; i < frame->tabs()->count(); ++i)
            t.append(frame->tabs()->tabText(i));
        return t;
    }
};

void shoot(QWidget* w, const QString& name) {
    const QByteArray dir = qgetenv("TAROVEX_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name + ".png"));
}

} // namespace

TEST(WindowDeathTest, MissingKeyEndsWithStatus4) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ui_test::application();
            QTimer::singleShot(200, [] {
                if (QWidget* w = QApplication::activeModalWidget())
                    w->close();
            });
            const auto status = ui::checkResourceBundles({{shellBundleName, {"error", "no.such.key"}}});
            std::exit(status.value_or(0));
        },
        ::testing::ExitedWithCode(4), "Missing resource no.such.key");
}

// On a real X server with no tray (nor a D-Bus one): the tray box is off and says why, and
// minimising leaves the window minimised, not withdrawn, although the store asks for the tray.
// In a child process, the only one whose widgets are on X.
TEST(WindowDeathTest, WithoutATrayMinimisingMinimisesAsUsual) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::optional<tarovex_test::XvfbServer> server;
    if (qEnvironmentVariableIsEmpty("TAROVEX_TEST_X_DISPLAY")) { // the parent; the child runs this again
        server.emplace();
        qputenv("TAROVEX_TEST_X_DISPLAY", QByteArray::fromStdString(server->display()));
    }
    const auto child = [] {
        qputenv("DISPLAY", qgetenv("TAROVEX_TEST_X_DISPLAY"));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        Pty pty;
        Window w(pty.path(), {{"minimizeToTray", "true"}, {"notifyWhenMinimizedToTray", "true"}});
        const QCheckBox* box = w.frame->controls().setting<QCheckBox>("minimizeToTray");
        w.frame->showMinimized();
        for (int i = 0; i < 3; ++i) // a hide would come from the event loop
            QApplication::processEvents();
        std::cerr << "tray box " << (box->isEnabled() ? "on" : "off") << (box->isChecked() ? " ticked" : "")
                  << (box->toolTip() == text("tray.unavailable") ? " says why" : "") << ", window "
                  << (w.frame->isVisible() ? "shown" : "hidden")
                  << (w.frame->isMinimized() ? " minimised" : "")
                  << (w.frame->trayIcon() ? " with a tray icon" : "") << std::endl;
        std::_Exit(0); // no teardown of the X connection in a child
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0),
                "tray box off ticked says why, window shown minimised\n");
    qunsetenv("TAROVEX_TEST_X_DISPLAY");
}

// The serial library's own lines, from any thread, join the window's log while it is open.
TEST(Window, TheSerialLibrarysLinesJoinItsLog) {
    ui_test::application();
    Pty pty;
    {
        Window w(pty.path());
        std::thread([] { Tarolink::diagnostic("a line of the serial library"); }).join();
        EXPECT_TRUE(runUntil(
            [&] { return w.frame->controls().log->toPlainText().contains("a line of the serial library"); }));
    }
    // The window and its log are gone: the line goes elsewhere, not into freed memory.
    Tarolink::diagnostic("a line after the window");
}

// Auto start with minimising to the tray asked for, and no tray (the offscreen platform has
// none): the run starts and the window is minimised, not hidden with no way back to it.
TEST(Window, AutoStartWithoutATrayMinimisesTheWindow) {
    ui_test::application();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TAROVEX_SKIP_OR_FAIL("this desktop session offers a system tray");
    Pty pty;
    Window w(pty.path(), {{"connect", "AUTO"}, {"minimizeToTray", "true"}});
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected(); }))
        << w.notifier.shown.join("\n").toStdString();
    for (int i = 0; i < 3; ++i) // a hide would come from the event loop
        QApplication::processEvents();
    EXPECT_TRUE(w.frame->isVisible());
    EXPECT_TRUE(w.frame->isMinimized());
    EXPECT_EQ(w.frame->trayIcon(), nullptr);
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
}

TEST(Window, StartOnAPtyFillsTheLogAndStopRestoresTheTabs) {
    Pty pty;
    Window w(pty.path());
    const QStringList stopped = w.tabTitles();
    ASSERT_EQ(stopped.size(), 7);
    shoot(w.frame.get(), "stopped-start");
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected() && w.tabTitles().size() == 3; }))
        << w.notifier.shown.join("\n").toStdString();
    pty.send("ST,GS,+12.50kg\r\nST,GS,+13.00kg\r\n");
    ASSERT_TRUE(runUntil([&] { return w.frame->controls().log->toPlainText().contains("13.00"); }));
    ASSERT_TRUE(runUntil([&] { return w.frame->controls().reading->valueText() == "13.00"; }));
    // Our window has the focus: the values wait, and the status and the Start tab say so.
    EXPECT_EQ(w.frame->statusLabel()->text(), text("values.waiting"));
    EXPECT_TRUE(w.frame->controls().reading->waitingText().startsWith("2 waiting: "))
        << w.frame->controls().reading->waitingText().toStdString();
    shoot(w.frame.get(), "running-start");
    w.frame->tabs()->setCurrentIndex(1);
    shoot(w.frame.get(), "running-log");
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected() && w.tabTitles().size() == 7; }));
    EXPECT_EQ(w.tabTitles(), stopped);
    EXPECT_EQ(w.frame->controls().startStop->text(), text("RazezaRoZurFrame2.startStopJButton.text"));
}

// A balance that prints on request: the buttons of its commands while running, each
// sending its command through the run's port.
TEST(Window, RequestButtonsSendThePresetsCommands) {
    Pty pty;
    Window w(pty.path());
    QComboBox* instrument = w.frame->controls().setting<QComboBox>("instrument");
    instrument->setCurrentIndex(instrument->findText(QStringLiteral("Mettler Toledo Dialog")));
    ASSERT_GE(instrument->currentIndex(), 0);
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->controls().readNow->isVisible(); }));
    EXPECT_TRUE(w.frame->controls().tare->isVisible());
    EXPECT_TRUE(w.frame->controls().zero->isVisible());
    shoot(w.frame.get(), "running-start-requests");
    const std::pair<QPushButton*, std::string> rows[] = {{w.frame->controls().readNow, "SI\r\n"},
                                                         {w.frame->controls().tare, "T\r\n"},
                                                         {w.frame->controls().zero, "Z\r\n"}};
    for (const auto& [button, sent] : rows) {
        button->click();
        std::string got;
        const std::size_t size = sent.size(); // a lambda cannot capture a binding in clang 14
        ASSERT_TRUE(runUntil([&] {
            got += pty.receive();
            return got.size() >= size;
        }));
        EXPECT_EQ(got, sent);
    }
    w.frame->controls().startStop->click();
    // The appearance follows the run's end one event-loop turn later.
    EXPECT_TRUE(
        runUntil([&] { return !w.frame->isConnected() && !w.frame->controls().readNow->isVisible(); }));
}

// A balance with handshaking warns, in a message box, that a pty has no DSR and CTS: its
// buttons are still those of its own commands, not those of the run before.
TEST(Window, RequestButtonsFollowTheRunBeingStartedAfterAHandshakeWarning) {
    namespace CH = config::ConfigHelper;
    for (const CH::Instrument& before : {CH::Instrument::GENERIC, CH::Instrument::MITUTOYO}) {
        SCOPED_TRACE(before.name().toStdString());
        Pty pty;
        Window w(pty.path());
        w.notifier.modal = true;
        const ui::Controls& c = w.frame->controls();
        c.setting<QComboBox>("instrument")->setCurrentIndex(before.ordinal());
        c.startStop->click();
        ASSERT_TRUE(runUntil([&] { return c.reading->isVisible(); }));
        c.startStop->click();
        ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected() && !c.reading->isVisible(); }));
        ASSERT_TRUE(w.notifier.shown.isEmpty()) << w.notifier.shown.join("\n").toStdString();

        c.setting<QComboBox>("instrument")->setCurrentIndex(CH::Instrument::AND.ordinal());
        c.startStop->click();
        ASSERT_TRUE(runUntil([&] { return c.reading->isVisible() && !w.notifier.shown.isEmpty(); }));
        EXPECT_TRUE(w.notifier.shown[0].startsWith(text("warning"))) << w.notifier.shown[0].toStdString();
        EXPECT_EQ((std::array{c.readNow->isVisible(), c.tare->isVisible(), c.zero->isVisible()}),
                  (std::array{true, true, true}));
        shoot(w.frame.get(), "running-start-after-" + before.name().toLower());
        c.startStop->click();
        ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
    }
}

// With stable values only: the value typed and its stability, then an unstable one that
// was not typed and a line without value in the log's colours; nothing of it once stopped.
TEST(Window, TheStartTabShowsTheLastReadingWhileRunning) {
    Pty pty;
    Window w(pty.path());
    const ui::Controls& c = w.frame->controls();
    c.setting<QComboBox>("instrument")->setCurrentIndex(config::ConfigHelper::Instrument::AND.ordinal());
    c.setting<QCheckBox>("stableOnly")->setChecked(true);
    c.startStop->click();
    ASSERT_TRUE(runUntil([&] { return c.reading->isVisible(); }));
    EXPECT_EQ(c.reading->detailsText(), text("reading.none"));
    pty.send("ST,GS,+12.50kg\r");
    ASSERT_TRUE(runUntil([&] { return c.reading->valueText() == "12.50"; }))
        << c.reading->valueText().toStdString();
    EXPECT_EQ(c.reading->detailsText(), "just now · stable");
    shoot(w.frame.get(), "running-start-reading");
    pty.send("US,GS,+12.70kg\rOL,GS,overload\r");
    ASSERT_TRUE(runUntil([&] { return c.reading->valueText() == "12.70"; }));
    EXPECT_EQ(c.reading->detailsText(), "just now · unstable, not typed");
    EXPECT_TRUE(c.reading->noValueText().endsWith(" OL,GS,overload<13>"))
        << c.reading->noValueText().toStdString();
    shoot(w.frame.get(), "running-start-unstable");
    const int width = w.frame->width();
    pty.send((QByteArray(300, 'x') + '\r').constData());
    ASSERT_TRUE(runUntil([&] { return c.reading->noValueText().size() > 300; }));
    QApplication::processEvents(); // the layout's turn
    EXPECT_EQ(w.frame->width(), width) << "a long line is cut, not widening the window";
    c.startStop->click();
    // The appearance follows the run's end one event-loop turn later.
    EXPECT_TRUE(runUntil([&] { return !w.frame->isConnected() && !c.reading->isVisible(); }));
}

TEST(Window, TheStartTabTellsWhetherReadingsWaitForTheBroker) {
    QTemporaryDir brokerDir;
    const int port = mqtt_test::freeLoopbackPort();
    Pty pty;
    Window w(pty.path());
    const ui::Controls& c = w.frame->controls();
    w.frame->config().record.mqttBroker = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    c.startStop->click();
    // Reading: the port is open and flushed, so the line below counts.
    ASSERT_TRUE(runUntil([&] { return c.reading->isVisible() && w.frame->isConnected(); }));
    // A line without a value is recorded at once (a value only once typed, and this window
    // has the focus). The count is the journal's, which the window tests share.
    pty.send("OL\r");
    const QRegularExpression waiting(QStringLiteral("^Readings wait for the broker \\(([1-9][0-9]*)\\)$"));
    ASSERT_TRUE(runUntil([&] { return waiting.match(c.reading->brokerText()).hasMatch(); }))
        << c.reading->brokerText().toStdString();
    shoot(w.frame.get(), "running-start-broker-waiting");
    mqtt_test::Broker broker(brokerDir.path(), {}, port);
    // A first connection is tried again about once a second.
    ASSERT_TRUE(runUntil([&] { return c.reading->brokerText() == text("broker.connected"); }, 30000))
        << c.reading->brokerText().toStdString();
    shoot(w.frame.get(), "running-start-broker-connected");
    c.startStop->click();
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
}

// The request and stability controls: a valid text is kept and saved, a refused one explained
// and reset.
TEST(Window, TheRequestAndStabilityControlsRoundTripTheirSettings) {
    Pty pty;
    Window w(pty.path());
    const ui::Controls& c = w.frame->controls();
    c.setting<QLineEdit>("requestCommand")->setText("\\eP\\r\\n");
    c.setting<QLineEdit>("requestInterval")->setText("500");
    c.setting<QCheckBox>("stableOnly")->setChecked(true);
    c.setting<QLineEdit>("stableRegEx")->setText("^ST");
    w.frame->tabs()->setCurrentIndex(1);
    w.frame->tabs()->setCurrentIndex(0); // leaving Input saves
    const auto* node = w.root->node(QString::fromLatin1(prefs::settingsNodePath));
    EXPECT_EQ(node->get("requestCommand", ""), "\\eP\\r\\n");
    EXPECT_EQ(node->get("requestInterval", ""), "500");
    EXPECT_EQ(node->get("stableOnly", ""), "true");
    EXPECT_EQ(node->get("stableRegEx", ""), "^ST");
    // and journals the change with the value before it.
    bool journaled = false;
    journal::JournalDb(journal::JournalDb::defaultPath()).forEachEvent([&](const journal::StoredEvent& e) {
        journaled |= e.event.setting == "requestCommand" && e.event.oldValue.isEmpty() &&
                     e.event.newValue == "\\eP\\r\\n" && !e.event.user.isEmpty();
    });
    EXPECT_TRUE(journaled);

    const std::pair<QLineEdit*, const char*> refused[] = {
        {c.setting<QLineEdit>("requestCommand"), "error.request.command"},
        {c.setting<QLineEdit>("requestInterval"), "error.request.interval"},
        {c.setting<QLineEdit>("stableRegEx"), "error.stable.expression"}};
    for (const auto& [f, key] : refused) {
        f->setText(f == c.setting<QLineEdit>("requestCommand")    ? "\\xZZ"
                   : f == c.setting<QLineEdit>("requestInterval") ? "-1"
                                                                  : "(unclosed");
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(f, &out);
        const QString expected = text("error") + ": " + text(key);
        ASSERT_TRUE(runUntil([&] { return w.notifier.shown.contains(expected); })) << key;
        EXPECT_EQ(f->text(), "") << key;
    }
    EXPECT_EQ(w.frame->config().getRequestCommand(), "");
    EXPECT_EQ(w.frame->config().getStableRegEx(), "");

    // A refused template says where it goes wrong.
    QLineEdit* t = c.setting<QLineEdit>("outputTemplate");
    t->setText("{TAB}{vlaue}");
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(t, &out);
    const QString expected =
        text("error") + ": " + text("error.output.template") + "\nColumn 6: unknown field {vlaue}";
    ASSERT_TRUE(runUntil([&] { return w.notifier.shown.contains(expected); })) << w.notifier.shown.join("|").toStdString();
    EXPECT_EQ(w.frame->config().getOutputTemplate(), "");
    EXPECT_TRUE(c.setting<QWidget>("startWith")->isEnabled());

    // A template of the user's own decides the keys: the choices it overrides rest.
    t->setText("{value} {unit}{ENTER}");
    QApplication::sendEvent(t, &out);
    ASSERT_TRUE(runUntil([&] { return w.frame->config().getOutputTemplate() == "{value} {unit}{ENTER}"; }));
    EXPECT_FALSE(c.setting<QWidget>("startWith")->isEnabled());
    EXPECT_FALSE(c.setting<QWidget>("outputTerminator")->isEnabled());
}

TEST(Window, ExportThenImportRoundTrips) {
    Pty pty;
    Window w(pty.path());
    w.frame->config().setCustomRegEx("([0-9]+)");
    w.chosenFile = w.dir.filePath("tarovex.xml");
    w.frame->exportSettings();
    ASSERT_TRUE(QFile::exists(w.chosenFile)) << w.notifier.shown.join("\n").toStdString();
    const auto before = w.root->node(QString::fromLatin1(prefs::settingsNodePath))->entries();
    w.root->node(QString::fromLatin1(prefs::settingsNodePath))->put("customRegEx", "changed");
    w.frame->importSettings();
    EXPECT_EQ(w.root->node(QString::fromLatin1(prefs::settingsNodePath))->entries(), before);
    EXPECT_EQ(before.value("customRegEx"), "([0-9]+)");
    EXPECT_EQ(w.exits, QList<int>{4});
}

// OK stores the five publishing settings in the settings file at once; a refused field is
// named in the dialog and nothing is stored.
TEST(Window, ThePublishingDialogStoresItsSettingsOrNamesTheRefusedField) {
    Pty pty;
    Window w(pty.path());
    QFile password(w.dir.filePath("password"));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const auto open = [&] {
        w.frame->controls().publish->click();
        return w.frame->findChild<ui::PublishDialog*>();
    };
    ui::PublishDialog* dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fields()[1]->text(), "tarovex/{station}/readings");
    const QStringList typed = {"mqtts://[::1]:8883", "site/{station}/r", "scale 7", password.fileName(),
                               w.dir.filePath("ca.pem")};
    for (int i = 0; i < typed.size(); ++i)
        dialog->fields()[i]->setText(typed[i]);
    EXPECT_EQ(dialog->remark(), "") << "a password file of mode 600 is fine";
    EXPECT_EQ(dialog->plainPasswordWarning(), "") << "mqtts";
    dialog->fields()[0]->setText("mqtt://[::1]:1883");
    EXPECT_EQ(dialog->plainPasswordWarning(), text("publish.passwordFile.plain"));
    dialog->fields()[3]->setText("");
    EXPECT_EQ(dialog->plainPasswordWarning(), "") << "no password";
    dialog->fields()[0]->setText(typed[0]);
    dialog->fields()[3]->setText(typed[3]);
    ASSERT_TRUE(dialog->tryAccept());
    const char* keys[] = {"mqttBroker", "mqttTopic", "mqttUser", "mqttPasswordFile", "mqttCaFile"};
    const auto stored = [&](int i) {
        const auto root = prefs::FilePreferences::createRoot(w.dir.filePath("prefs.txt"));
        return root->node(QString::fromLatin1(prefs::settingsNodePath))->get(keys[i], "");
    };
    for (int i = 0; i < typed.size(); ++i)
        EXPECT_EQ(stored(i), typed[i]) << keys[i];

    QApplication::processEvents(); // the accepted dialog goes
    password.setPermissions(password.permissions() | QFile::ReadOther);
    dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->remark().contains("chmod 600")) << dialog->remark().toStdString();
    dialog->fields()[0]->setText("http://broker.example:8883");
    dialog->fields()[2]->setText("other");
    EXPECT_FALSE(dialog->tryAccept());
    EXPECT_EQ(dialog->remark(), text("publish.error.broker"));
    EXPECT_TRUE(dialog->remark().startsWith("Broker:"));
    dialog->reject();
    EXPECT_EQ(w.frame->config().record.mqttBroker, typed[0]);
    EXPECT_EQ(w.frame->config().record.mqttUser, typed[2]);
    EXPECT_EQ(stored(0), typed[0]);
}

TEST(Window, RefreshKeepsTheCommandLinePortAndFindPortProbesIt) {
    Pty pty;
    Window w(pty.path());
    ui::PortBox* box = w.frame->controls().port;
    w.listed.ports = {{"/dev/ttyS0", "/dev/ttyS0", true}};
    w.frame->refreshPorts();
    EXPECT_EQ(box->portNames(), (QStringList{"/dev/ttyS0", pty.path()}));
    EXPECT_EQ(box->port(), pty.path()) << "the selection stays";
    w.listed.failure = "no access";
    w.frame->refreshPorts();
    EXPECT_EQ(w.notifier.shown.last(),
              text("error") + ": " + text("error.listing.available.ports") + "no access");
    EXPECT_EQ(box->port(), pty.path());

    box->setEditText("tcp://127.0.0.1:4001"); // a typed name is taken as it is
    EXPECT_EQ(box->port(), "tcp://127.0.0.1:4001");
    box->selectPort(pty.path());
    w.frame->findPort();
    auto* dialog = w.frame->findChild<AutoPortDialog*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(runUntil([&] { return dialog->isDetectionDone(); }));
    EXPECT_TRUE(dialog->messages().contains(pty.path())) << dialog->messages().toStdString();
    dialog->close();
}

TEST(Window, AFieldLeavingTheFocusIsStoredOrRefusedAndTheTerminatorFallsBackToTheDefault) {
    Pty pty;
    Window w(pty.path());
    const ui::Controls& c = w.frame->controls();
    const auto leave = [](QWidget* f, const QString& typed) {
        if (auto* box = qobject_cast<QComboBox*>(f))
            box->setEditText(typed);
        else
            static_cast<QLineEdit*>(f)->setText(typed);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(f, &out);
        QApplication::processEvents();
    };
    leave(c.setting<QLineEdit>("delay"), "37");
    EXPECT_EQ(w.frame->config().getDelay(), "37");
    leave(c.setting<QLineEdit>("requestHotkey"), "Ctrl+Alt+R");
    EXPECT_EQ(w.frame->config().getRequestHotkey(), "Ctrl+Alt+R");
    leave(c.setting<QLineEdit>("requestHotkey"), "R");
    ASSERT_TRUE(runUntil([&] { return !w.notifier.shown.isEmpty(); }));
    EXPECT_EQ(w.notifier.shown.last(), text("error") + ": " + text("error.request.hotkey"));
    leave(c.setting<QComboBox>("inputTerminator"), "7");
    EXPECT_EQ(w.frame->config().getInputTerminator(), 7);

    c.defaults->click();
    const QString shown = c.setting<QComboBox>("inputTerminator")->currentText();
    leave(c.setting<QComboBox>("inputTerminator"), "256");
    ASSERT_TRUE(runUntil(
        [&] { return w.notifier.shown.last().contains(text("terminator.must.be.between.0.and.255")); }));
    EXPECT_EQ(c.setting<QComboBox>("inputTerminator")->currentText(), shown);
    EXPECT_NE(w.frame->config().getInputTerminator(), 7);
}

TEST(Window, WhileRunningLeavingTheLogTabSavesByPosition) {
    Pty pty;
    Window w(pty.path());
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.tabTitles().size() == 3; }))
        << w.notifier.shown.join("\n").toStdString();
    w.frame->controls().setting<QLineEdit>("delay")->setText("55");
    w.frame->tabs()->setCurrentIndex(1); // the log
    w.frame->tabs()->setCurrentIndex(2); // leaving position 1 saves
    EXPECT_EQ(w.root->node(QString::fromLatin1(prefs::settingsNodePath))->get("delay", ""), "55");
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
}

TEST(Window, TheStatusBarSaysWhyARunEndedByItself) {
    auto pty = std::make_unique<Pty>();
    const QString port = pty->path();
    Window w(port);
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected(); }))
        << w.notifier.shown.join("\n").toStdString();
    pty.reset(); // the instrument goes away
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
    ASSERT_TRUE(
        runUntil([&] { return w.frame->statusLabel()->text() != text("switch.to.target.application"); }));
    EXPECT_NE(w.frame->statusLabel()->text(), text("RazezaRoZurFrame2.statusJLabel.text"));
    EXPECT_TRUE(w.frame->statusLabel()->text().contains(port))
        << w.frame->statusLabel()->text().toStdString();
}

TEST(Window, ClosingHidesAtOnceAndEndsOnceTheRunIsDone) {
    Pty pty;
    Window w(pty.path());
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected(); }));
    w.frame->close();
    EXPECT_FALSE(w.frame->isVisible());
    EXPECT_TRUE(runUntil([&] { return w.exits == QList<int>{0}; }));
}

// A second instrument added on the Start tab (its port refused while the first reads it):
// Start starts both, the table shows each one's value and the log names the second; one
// unplugged ends alone, and closing stops the other too.
TEST(Window, TwoInstrumentsStartTogetherAndOneUnpluggedEndsAlone) {
    auto first = std::make_unique<Pty>();
    auto second = std::make_unique<Pty>();
    const QString firstPort = first->path(), secondPort = second->path();
    Window w(firstPort);
    ui::InstrumentsPanel* panel = w.frame->controls().instruments;
    EXPECT_FALSE(panel->table()->isVisibleTo(w.frame.get()));
    panel->addButton()->click();
    auto* dialog = w.frame->findChild<ui::InstrumentDialog*>();
    ASSERT_TRUE(dialog);
    dialog->labelField()->setText("scale");
    dialog->portBox()->selectPort(firstPort);
    EXPECT_FALSE(dialog->tryAccept());
    EXPECT_TRUE(dialog->error().contains(firstPort)) << dialog->error().toStdString();
    EXPECT_EQ(dialog->labelField()->text(), "scale");
    shoot(dialog, "dialog-add-instrument-refused");
    dialog->portBox()->selectPort(secondPort);
    ASSERT_TRUE(dialog->tryAccept()) << dialog->error().toStdString();
    ASSERT_TRUE(panel->table()->isVisibleTo(w.frame.get()));
    const auto cell = [&](int row, int column) {
        const QTableWidgetItem* item = panel->table()->item(row, column);
        return item ? item->text() : QString();
    };
    EXPECT_EQ(cell(1, 1), secondPort);
    // The row buttons act on the selected one alone.
    panel->table()->selectRow(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the add dialog is gone
    panel->renameButton()->click();
    auto* rename = w.frame->findChild<ui::InstrumentDialog*>();
    ASSERT_TRUE(rename && !rename->portBox());
    rename->labelField()->setText("caliper");
    ASSERT_TRUE(rename->tryAccept()) << rename->error().toStdString();
    EXPECT_EQ(cell(1, 0), "caliper");
    panel->startStopButton()->click();
    ASSERT_TRUE(runUntil([&] { return cell(1, 2) == "reading"; })) << cell(1, 2).toStdString();
    EXPECT_EQ(cell(0, 2), "stopped");
    panel->startStopButton()->click();
    ASSERT_TRUE(runUntil([&] { return cell(1, 2) == "stopped"; })) << cell(1, 2).toStdString();
    // The first moved to the second's port on the Input tab does not start: one port, one reader.
    panel->table()->selectRow(0);
    w.frame->controls().port->selectPort(secondPort);
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return cell(1, 2) == "reading"; }));
    EXPECT_EQ(cell(0, 2), "stopped");
    EXPECT_TRUE(w.notifier.shown.join(' ').contains("caliper reads " + secondPort))
        << w.notifier.shown.join(' ').toStdString();
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return cell(1, 2) == "stopped"; }));
    w.frame->controls().port->selectPort(firstPort);

    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return cell(0, 2) == "reading" && cell(1, 2) == "reading"; }))
        << cell(0, 2).toStdString() << " / " << cell(1, 2).toStdString();
    first->send("ST,GS,+12.50kg\r\n");
    second->send("ST,GS,+3.25kg\r\n");
    ASSERT_TRUE(runUntil([&] { return cell(0, 3) == "12.50" && cell(1, 3) == "3.25"; }))
        << cell(0, 3).toStdString() << " / " << cell(1, 3).toStdString();
    ASSERT_TRUE(runUntil([&] {
        return w.frame->controls().log->toPlainText().contains("[caliper] ST,GS,+3.25kg");
    })) << w.frame->controls().log->toPlainText().toStdString();
    shoot(w.frame.get(), "running-start-two-instruments");

    first.reset(); // unplugged
    ASSERT_TRUE(runUntil([&] { return cell(0, 2) != "reading"; }));
    EXPECT_TRUE(cell(0, 2).contains(firstPort)) << cell(0, 2).toStdString();
    second->send("ST,GS,+4.00kg\r\n");
    ASSERT_TRUE(runUntil([&] { return cell(1, 3) == "4.00"; }));
    EXPECT_EQ(cell(1, 2), "reading");
    EXPECT_EQ(w.frame->controls().startStop->text(), text("RazezaRoZurFrame2.startStopJButton.textStop"))
        << "the station still reads";
    shoot(w.frame.get(), "running-start-instrument-ended");

    w.frame->close();
    EXPECT_TRUE(runUntil([&] { return w.exits == QList<int>{0}; }));
    EXPECT_EQ(w.frame->instruments().state(0), StationInstruments::State::Stopped);
}

// The Input, Processing and Output tabs show the instrument selected in the table, the Settings
// tab the station's: each edit lands in its own settings and store, the run reads with them, and
// the tabs go while the instrument they show reads.
TEST(Window, TheTabsEditTheSelectedInstrumentAndTheSettingsTabTheStations) {
    Pty first, second;
    Window w(first.path());
    StationInstruments& further = w.frame->instruments();
    ASSERT_EQ(further.add("caliper", second.path(), {first.path()}, {first.path()}), QString());
    ui::InstrumentsPanel* panel = w.frame->controls().instruments;
    auto* places = w.frame->controls().setting<QLineEdit>("decimalPlaces");
    auto* station = w.frame->controls().setting<QLineEdit>("station");
    // Whose settings the tabs show, said above them.
    const auto shown = [&] {
        for (const QLabel* l : w.frame->findChildren<QLabel*>())
            if (!l->isHidden() && l->text().startsWith("Settings of "))
                return l->text().section(',', 0, 0);
        return QString();
    };
    const QString firstShown = "Settings of " + w.frame->config().instrumentName();
    EXPECT_EQ(shown(), firstShown);
    panel->table()->selectRow(1);
    EXPECT_EQ(shown(), "Settings of caliper");
    EXPECT_EQ(w.frame->controls().port->port(), second.path());
    w.frame->tabs()->setCurrentIndex(1);
    shoot(w.frame.get(), "input-tab-second-instrument");
    places->setText("1");
    station->setText("bench-7");
    panel->table()->selectRow(0);
    EXPECT_EQ(further.at(0).config.getDecimalPlaces(), "1");
    EXPECT_EQ(w.frame->config().getDecimalPlaces(), "");
    EXPECT_EQ(places->text(), "");
    EXPECT_EQ(w.frame->config().record.station, "bench-7");
    config::Config stored;
    ASSERT_TRUE(
        profiles::load(*w.root->node(QString::fromLatin1(prefs::settingsNodePath)), "caliper", stored));
    EXPECT_EQ(stored.getDecimalPlaces(), "1");

    panel->table()->selectRow(1);
    panel->startStopButton()->click();
    ASSERT_TRUE(runUntil([&] { return further.state(0) == StationInstruments::State::Reading; }));
    EXPECT_EQ(further.at(0).config.record.station, "bench-7") << "it records as the station";
    EXPECT_FALSE(w.tabTitles().join(',').contains("Input")) << w.tabTitles().join(',').toStdString();
    second.send("ST,GS,+1.26kg\r\n");
    ASSERT_TRUE(runUntil([&] { return further.at(0).last.shown().value == "1.3"; }))
        << further.at(0).last.shown().value.toStdString();
    panel->table()->selectRow(0); // the first does not read: its settings come back
    EXPECT_TRUE(w.tabTitles().contains("Input")) << w.tabTitles().join(',').toStdString();
    EXPECT_EQ(shown(), firstShown);
    further.stop(0);
}

// An address that never answers: while it opens, Start is Stop and the status names it;
// Stop ends the opening at once.
TEST(Window, WhileThePortOpensStartIsStopAndTheStatusSaysSo) {
    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 4); // accepts, never answers
    const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    Window w(address);
    QPushButton* button = w.frame->controls().startStop;
    button->click();
    EXPECT_EQ(button->text(), text("RazezaRoZurFrame2.startStopJButton.textStop"));
    ASSERT_TRUE(
        runUntil([&] { return w.frame->statusLabel()->text() == "Opening port " + address + "..."; }));
    button->click();
    EXPECT_EQ(button->text(), text("RazezaRoZurFrame2.startStopJButton.text"));
    ASSERT_TRUE(runUntil(
        [&] { return w.frame->statusLabel()->text() == text("RazezaRoZurFrame2.statusJLabel.text"); }));
    EXPECT_TRUE(w.notifier.shown.isEmpty());
    EXPECT_FALSE(w.frame->isConnected());
    ::close(listener);
}

// After a run whose device went away, an address that never agrees fails to open: the
// dialog and the status bar name that address in words, and the old port is gone from both.
TEST(Window, AFailedOpenSaysWhichAddressDidNotAnswer) {
    auto pty = std::make_unique<Pty>();
    const QString old = pty->path();
    Window w(old);
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected(); }));
    pty.reset();
    ASSERT_TRUE(runUntil([&] {
        return !w.frame->isConnected() && w.frame->statusLabel()->text().contains(old);
    })) << w.frame->statusLabel()->text().toStdString();

    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 4); // accepts, never answers
    w.frame->controls().port->selectPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port));
    w.frame->controls().startStop->click();
    const QString said = QStringLiteral("No answer from 127.0.0.1:%1 within 3 s.").arg(port);
    ASSERT_TRUE(runUntil([&] { return !w.notifier.shown.isEmpty(); }))
        << w.frame->statusLabel()->text().toStdString() << "\n"
        << w.frame->controls().log->toPlainText().toStdString();
    EXPECT_TRUE(runUntil([&] { return w.frame->statusLabel()->text().endsWith(said); }))
        << w.frame->statusLabel()->text().toStdString();
    ASSERT_EQ(w.notifier.shown.size(), 1);
    EXPECT_TRUE(w.notifier.shown[0].contains(said + "\n")) << w.notifier.shown[0].toStdString();
    for (const QString& shown : {w.frame->statusLabel()->text(), w.notifier.shown[0]})
        EXPECT_FALSE(shown.contains(old) || shown.contains("SerOpenPort")) << shown.toStdString();
    shoot(w.frame.get(), "stopped-start-open-failed");
    ::close(listener);
}

TEST(Window, ANetworkPortUsedIsRememberedOfferedAsItselfAndProbedByFindPort) {
    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 4); // the kernel accepts for it
    const QString used = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    const QString older = QStringLiteral("tcp://127.0.0.1:%1").arg(tarovex_test::freeLoopbackPort());
    Window w(used);
    w.frame->config().recentAddresses = {older};
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return w.frame->isConnected(); }))
        << w.notifier.shown.join("\n").toStdString();
    w.frame->controls().startStop->click();
    ASSERT_TRUE(runUntil([&] { return !w.frame->isConnected(); }));
    EXPECT_EQ(w.frame->config().recentAddresses, (QStringList{used, older}));

    ui::PortBox* box = w.frame->controls().port;
    w.listed.ports = {{"/dev/ttyS0", "/dev/ttyS0", true}};
    w.frame->refreshPorts();
    EXPECT_EQ(box->portNames(), (QStringList{"/dev/ttyS0", used, older}));
    EXPECT_EQ(box->itemText(2), older) << "an address is shown as itself";
    w.frame->tabs()->setCurrentIndex(1); // Input
    QApplication::processEvents();
    shoot(w.frame.get(), "stopped-input-network");
    box->showPopup();
    QApplication::processEvents();
    shoot(box->view()->window(), "port-box-list");
    box->hidePopup();

    w.frame->findPort();
    auto* dialog = w.frame->findChild<AutoPortDialog*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(runUntil([&] { return dialog->isDetectionDone(); }));
    EXPECT_TRUE(dialog->messages().contains(older)) << dialog->messages().toStdString();
    dialog->close();
    ::close(listener);
}

TEST(Window, Screens) {
    if (qEnvironmentVariableIsEmpty("TAROVEX_SCREENSHOT_DIR"))
        GTEST_SKIP() << "only for tools/screenshots.sh";
    Pty pty;
    Window w(pty.path());
    for (int i = 0; i < w.frame->tabs()->count(); ++i) {
        w.frame->tabs()->setCurrentIndex(i);
        QApplication::processEvents();
        shoot(w.frame.get(), QStringLiteral("stopped-%1").arg(i));
    }
    QLineEdit* outputTemplate = w.frame->controls().setting<QLineEdit>("outputTemplate");
    outputTemplate->setText("{value} {unit}{TAB}{date:yyyy-MM-dd}{ENTER}");
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(outputTemplate, &out);
    QApplication::processEvents();
    w.frame->tabs()->setCurrentIndex(3);
    shoot(w.frame.get(), "stopped-output-template");
    ui::CustomRegExDialog custom(w.frame.get(), "", "([0-9.]+)");
    shoot(&custom, "dialog-custom-expression");
    custom.expressionField()->setPlainText("([0-9]+");
    custom.tryAccept();
    shoot(&custom, "dialog-custom-expression-refused");
    ui::IgnoreDialog ignore(w.frame.get(), "500", "0.1");
    shoot(&ignore, "dialog-repeated-values");
    config::RecordSettings record;
    ui::PublishDialog publish(w.frame.get(), record);
    shoot(&publish, "dialog-publishing");
    publish.fields()[0]->setText("broker.example:8883");
    publish.tryAccept();
    shoot(&publish, "dialog-publishing-refused");
}
