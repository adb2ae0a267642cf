// The run without a display: lines from a real pseudo-terminal typed by a real keystroke
// session whose key synthesis is recorded, pausing for real between keys.
#include "tarovex/run/RunController.h"
#include "Tarolink/SerialDriver.h"
#include "Tarolink/SerialExceptions.h"
#include "journal/JournalDb.h"
#include "tarovex/run/KeyboardService.h"
#include "tarovex/run/LockWatch.h"
#include "tarovex/run/RecordConsumer.h"
#include "tarovex/run/SessionLockWatch.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/Ser2netServer.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/XvfbServer.h"
#include "tests/support/RecordingServices.h"
#include "tests/tarovex/TypedKeys.h"
#include "tests/typing/KeysTestSupport.h"
#include "tests/worker/WorkerTestSupport.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/openhint/OpenFailureHint.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <thread>

using namespace tarovex;
namespace CH = config::ConfigHelper;

namespace {

using tarovex_test::SlowKeys;
using tarovex_test::Typed;
using tarovex_test::typed;

struct Log : RunLog {
    QStringList events;
    void logEvent(const QString& text) override { events.append(text); }
    void logImportantEvent(const QString& text) override { events.append(text); }
    void line(const reading::DataLine&) override {}
    void unstableLine(const reading::DataLine&) override {}
};

struct Notices : Notifier {
    QStringList shown;
    void show(Kind, const QString& title, const QString& message) override { shown.append(title + message); }
};

struct Consumer : ReadingConsumer {
    QStringList seen;
    void runStarted(const config::Config&) override { seen.append("started"); }
    void reading(const reading::DataLine& line, ReadingOutcome outcome) override {
        static const char* const names[] = {"value", "repeat", "none"};
        seen.append(line.getProcessedData() + ' ' + names[int(outcome)]);
    }
    void runStopped(const QString& reason) override { seen.append("stopped " + reason); }
};

// A run on a pseudo-terminal whose values are typed at `delayMs` per key.
struct Rig {
    explicit Rig(int delayMs, bool typing = true) : keys(delayMs) {
        worker_test::application();
        config = config::Config::defaultsOf(CH::Instrument::GENERIC);
        config.setInstrument(CH::Instrument::GENERIC);
        config.setPort(QString::fromStdString(pty.slavePath()));
        config.setOutputTerminator(CH::OutputTerminator::NONE);
        config.setDelay(QString::number(delayMs));
        RunServices s;
        if (typing)
            s.makeTyper = [this, lane = std::make_shared<typing::KeyboardLane>()](
                              const config::Config& c, reading::EventLog& view) {
                return makeKeyboardTyper(c, view, lane, std::make_unique<SlowKeys>(keys),
                                         QStringLiteral("slow"));
            };
        s.makeSound = [](int) { return std::make_unique<tarovex_test::RecordingSound>(); };
        run = std::make_unique<RunController>(config, s, notices, log);
        QObject::connect(run.get(), &RunController::runEnded, [this](const QString& r) { ended.append(r); });
        QObject::connect(run.get(), &RunController::valuesWaiting, [this](bool w) { waiting.append(w); });
        QObject::connect(run.get(), &RunController::connectedChanged,
                         [this](bool c) { connected.append(c); });
        QObject::connect(run.get(), &RunController::startFailed,
                         [this](const QString& m) { failed.append(m); });
        QObject::connect(run.get(), &RunController::statusChanged, [this](const QString& t) { status = t; });
    }
    void start() {
        ASSERT_TRUE(run->start()) << notices.shown.join('\n').toStdString();
        ASSERT_TRUE(worker_test::runUntil([&] { return run->isConnected(); }));
    }
    bool loggedLine(const QString& text) const { return log.events.contains(text); }

    tarolink_test::Pty pty;
    keys_test::RecordingSynthesizer keys;
    config::Config config;
    Log log;
    Notices notices;
    QStringList ended;
    QList<bool> waiting;
    QList<bool> connected;
    QStringList failed;
    QString status;
    std::unique_ptr<RunController> run;
};

// An RFC 2217 server on 127.0.0.1 that accepts one connection and agrees to the COM-PORT
// option only after `answerAfterMs` (never when negative), then reads until the client
// closes.
class SlowServer {
public:
    explicit SlowServer(int answerAfterMs) {
        fd_ = tarovex_test::loopbackSocket(port_, 4);
        thread_ = std::jthread([this, answerAfterMs](std::stop_token stop) {
            int c = -1;
            for (pollfd p{fd_, POLLIN, 0}; c < 0 && !stop.stop_requested();)
                if (::poll(&p, 1, 50) > 0)
                    c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            const auto answerAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(answerAfterMs);
            char buffer[256];
            for (pollfd p{c, POLLIN, 0}; !stop.stop_requested();) {
                if (answerAfterMs >= 0 && !answered && std::chrono::steady_clock::now() >= answerAt) {
                    const std::uint8_t doComPort[] = {255, 253, 44};
                    ::send(c, doComPort, sizeof doComPort, MSG_NOSIGNAL);
                    answered = true;
                }
                if (::poll(&p, 1, 20) > 0 && ::recv(c, buffer, sizeof buffer, 0) <= 0) {
                    closed = true;
                    break;
                }
            }
            ::close(c);
        });
    }
    ~SlowServer() {
        thread_ = {};
        ::close(fd_);
    }
    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }

    std::atomic<bool> answered{false};
    std::atomic<bool> closed{false}; // the client closed the connection

private:
    int fd_ = -1;
    int port_ = 0;
    std::jthread thread_;
};

} // namespace

// Stop returns while the value is still being typed; it completes in the background, and
// the next run, started at once, types only after it.
TEST(RunController, StopLeavesTheValueToCompleteAndTheNextRunTypesAfterIt) {
    Rig rig(100);
    rig.start();
    rig.pty.write("1234\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.keys.stream().isEmpty(); }));
    QElapsedTimer clock;
    clock.start();
    rig.run->stop();
    EXPECT_LT(clock.elapsed(), 300) << "a value takes 800 ms: stop must not wait for it";
    EXPECT_TRUE(rig.run->isFinishingTyping());
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isConnected(); }));
    rig.start();
    rig.pty.write("5\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits.size() == 5; }));
    // The first typer's end reaches the run as an event, which may come a moment after the keys.
    EXPECT_TRUE(worker_test::runUntil([&] { return !rig.run->isFinishingTyping(); }))
        << "the first run's typing has ended";
    rig.run->stop();
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isFinishingTyping(); }));
    const Typed t = typed(rig.keys.stream());
    EXPECT_EQ(t.digits, "12345");
    EXPECT_FALSE(t.keyDown);
}

// While held, values wait and the window hears of it; the hold's end types them. At Stop
// the values not yet typed are dropped and counted; none of them is typed by the next run.
TEST(RunController, HeldValuesWaitAndAStoppedRunsValuesAreNeverTyped) {
    Rig rig(0);
    rig.run->setTypingHeld(true);
    rig.start();
    rig.pty.write("1\r2\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.waiting.isEmpty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.keys.stream(), "");
    rig.run->setTypingHeld(false);
    // Both typed and both fates heard: else 1 and 2 would count as the held values below.
    ASSERT_TRUE(worker_test::runUntil(
        [&] { return typed(rig.keys.stream()).digits == "12" && rig.run->waiting().count == 0; }));
    EXPECT_EQ(rig.waiting, (QList<bool>{true, false}));

    rig.run->setTypingHeld(true);
    rig.pty.write("3\r4\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return rig.waiting.size() == 3 && rig.run->waiting().count == 2; }));
    rig.run->stop();
    EXPECT_TRUE(rig.loggedLine("2 values not yet typed were dropped."));
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isConnected(); }));
    rig.run->setTypingHeld(false);
    rig.start();
    rig.pty.write("5\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits.size() == 3; }));
    EXPECT_EQ(typed(rig.keys.stream()).digits, "125");
    rig.run->stop();
}

// Closing waits for the value being typed, but only so long: then its keys are released,
// the rest is dropped and the log says so.
TEST(RunController, ShutdownAbandonsAValueThatOutlastsTheBound) {
    Rig rig(100);
    rig.start();
    rig.pty.write("123456789\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.keys.stream().isEmpty(); }));
    bool done = false;
    rig.run->shutdown([&] { done = true; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(done);
    ASSERT_TRUE(worker_test::runUntil([&] { return done; }, 5000));
    const Typed t = typed(rig.keys.stream());
    EXPECT_FALSE(t.keyDown);
    EXPECT_LT(t.digits.size(), 9) << t.digits.toStdString();
    EXPECT_TRUE(std::any_of(rig.log.events.begin(), rig.log.events.end(), [](const QString& e) {
        return e.startsWith("The value being typed did not end within 0.3 s");
    })) << rig.log.events.join('\n').toStdString();
    EXPECT_FALSE(rig.run->isFinishingTyping());
}

// A device that goes away without stop() ends the run with its reason, and the run lets
// go of its typing thread and sound; the consumers see every line with its outcome.
TEST(RunController, AVanishedDeviceEndsTheRunWithItsReasonAndReleasesItsParts) {
    Rig rig(0);
    rig.config.ignoreDuplicates = true;
    Consumer consumer;
    rig.run->addConsumer(&consumer);
    rig.config.setSound(CH::Sound::COWBELL);
    rig.start();
    ASSERT_NE(rig.run->sound(), nullptr);
    rig.pty.write("1\r1\rx\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return consumer.seen.size() == 4; }));
    rig.pty.closeMaster();
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.ended.isEmpty(); }));
    const QString reason = "The device on port " + rig.config.getPort() + " was disconnected. Reading ended.";
    EXPECT_EQ(rig.ended, QStringList{reason});
    EXPECT_EQ(consumer.seen, (QStringList{"started", "1 value", "1 repeat", " none", "stopped " + reason}));
    EXPECT_EQ(rig.run->typer(), nullptr);
    EXPECT_EQ(rig.run->sound(), nullptr);
    EXPECT_TRUE(worker_test::runUntil([&] { return !rig.run->isFinishingTyping(); }));
}

// A server that never agrees makes the open fail after seconds: start() returns at once,
// the status names the port, and the failure arrives later, shown as before, with the
// run's parts released.
TEST(RunController, APortThatDoesNotAnswerFailsInTheBackground) {
    SlowServer silent(-1);
    Rig rig(0);
    rig.config.setPort(silent.url());
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(rig.run->start());
    EXPECT_LT(clock.elapsed(), 1000) << "the open takes 3 s: start() must not wait for it";
    EXPECT_TRUE(rig.run->isOpening());
    EXPECT_EQ(rig.status, "Opening port " + silent.url() + "...");
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.failed.isEmpty(); }));
    EXPECT_GT(clock.elapsed(), 2000);
    EXPECT_FALSE(rig.run->isOpening());
    ASSERT_EQ(rig.notices.shown.size(), 1);
    EXPECT_TRUE(rig.failed[0].startsWith(
        worker::workerBundle().getString(worker::WorkerMessages::ERROR_OPENING_PORT) + "No answer from " +
        silent.url().mid(10) + " within 3 s.\n"))
        << rig.failed[0].toStdString();
    EXPECT_TRUE(rig.notices.shown[0].endsWith(rig.failed[0]));
    EXPECT_EQ(rig.connected, QList<bool>{});
    EXPECT_EQ(rig.run->typer(), nullptr);
    EXPECT_EQ(rig.ended, QStringList{});
}

// A network address that failed is named in plain words, as the user typed it; any other
// failure keeps the serial library's text.
TEST(RunController, AnOpenFailureNamesTheAddressInPlainWords) {
    using Tarolink::PortIOException;
    using Tarolink::SerialDriver;
    const struct {
        const char* port;
        int code;
        QString reason;
    } rows[] = {
        {"rfc2217://10.0.0.7:4001", SerialDriver::NO_ANSWER, "No answer from 10.0.0.7:4001 within 3 s."},
        {"tcp://[::1]:4001", SerialDriver::REFUSED, "[::1]:4001 refused the connection."},
        {"tcp://scale.invalid:4001", SerialDriver::UNKNOWN_HOST,
         "The host name scale.invalid was not found."},
        {"rfc2217://10.0.0.7:4001", SerialDriver::NOT_RFC2217,
         "10.0.0.7:4001 does not offer serial settings over RFC 2217."},
        {"/dev/ttyUSB0", SerialDriver::IN_USE, "/dev/ttyUSB0: SerOpenPort failed: the library's text"},
    };
    for (const auto& row : rows) {
        const PortIOException e(std::string(row.port) + ": SerOpenPort failed: the library's text", 0,
                                row.code);
        EXPECT_EQ(worker::openFailureReason(row.port, e), row.reason) << row.port;
        EXPECT_EQ(worker::openFailureHint(row.port, e).has_value(), row.code != SerialDriver::IN_USE)
            << row.port;
    }
}

// Stop during the open ends the run at once, before the server has even answered; the
// port that opens later is closed, and the next run, on another port, is not mixed with
// it. Closing during an open ends at once too.
TEST(RunController, StopDuringTheOpenEndsAtOnceAndTheLatePortIsClosed) {
    SlowServer slow(1000);
    Rig rig(0);
    rig.config.setPort(slow.url());
    ASSERT_TRUE(rig.run->start());
    rig.run->stop();
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.ended.isEmpty(); }));
    EXPECT_FALSE(slow.answered) << "the run ended only once the open did";
    EXPECT_EQ(rig.ended, QStringList{""});
    EXPECT_FALSE(rig.run->isOpening());

    rig.config.setPort(QString::fromStdString(rig.pty.slavePath()));
    rig.start();
    rig.pty.write("5\r");
    ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits == "5"; }));
    ASSERT_TRUE(worker_test::runUntil([&] { return slow.closed.load(); }));
    EXPECT_TRUE(slow.answered);
    EXPECT_EQ(rig.connected, QList<bool>{true}) << "only the second run connected";
    EXPECT_EQ(std::count_if(rig.log.events.begin(), rig.log.events.end(),
                            [](const QString& e) { return e.startsWith("Port "); }),
              1)
        << rig.log.events.join('\n').toStdString();
    EXPECT_TRUE(rig.notices.shown.isEmpty()) << rig.notices.shown.join('\n').toStdString();
    rig.run->stop();
    ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isConnected(); }));

    SlowServer never(-1);
    rig.config.setPort(never.url());
    ASSERT_TRUE(rig.run->start());
    bool done = false;
    rig.run->shutdown([&] { done = true; });
    ASSERT_TRUE(worker_test::runUntil([&] { return done; }));
    EXPECT_FALSE(never.closed) << "closing did not wait for the open";
}

// What the record says of each line is what happened to it, each row written once its fate
// is known, with the station's seq gap-free: typed only once the last key went; a value cut
// by a focus change or a stop, or still waiting at the stop, dropped with its reason.
TEST(RunController, EveryRecordSaysWhatBecameOfItsLine) {
    QTemporaryDir dir;
    const QString journal = dir.filePath("journal.sqlite");
    const auto rows = [&] {
        QStringList out;
        std::int64_t seq = 0;
        journal::JournalDb(journal).forEach([&](const journal::StoredReading& r) {
            EXPECT_EQ(r.seq, ++seq);
            out.append(r.reading.value + ' ' + journal::outcomeName(r.reading.outcome) + ' ' + r.reading.reason);
        });
        std::sort(out.begin(), out.end());
        return out;
    };
    {
        Rig rig(100);
        rig.config.ignoreDuplicates = true;
        Log unread;
        RecordConsumer record(unread, journal);
        rig.run->addConsumer(&record);
        rig.start();
        rig.pty.write("1\r1\rx\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits == "1"; }));
        rig.pty.write("2345678\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits == "12"; }));
        rig.run->setTypingHeld(true); // a click on our window
        ASSERT_TRUE(worker_test::runUntil([&] { return rows().join('|').contains("2345678 dropped"); }));
        rig.run->setTypingHeld(false);
        rig.pty.write("9876543\r5\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits.endsWith('9'); }));
        rig.run->stop();
        ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isFinishingTyping(); }));
        EXPECT_FALSE(typed(rig.keys.stream()).keyDown);
        record.finish(std::chrono::milliseconds(0));
    }
    {
        Rig rig(0, false); // the console without typing prints
        rig.config = config::Config::defaultsOf(CH::Instrument::AND_SIMPLE);
        rig.config.setInstrument(CH::Instrument::AND_SIMPLE);
        rig.config.setPort(QString::fromStdString(rig.pty.slavePath()));
        rig.config.stableOnly = true;
        rig.config.ignoreDuplicates = true; // an unstable reading is no value the stable one repeats
        Log unread;
        RecordConsumer record(unread, journal);
        rig.run->addConsumer(&record);
        rig.start();
        rig.pty.write("US,+00012.50  g\r\nST,+00012.50  g\r\n");
        ASSERT_TRUE(worker_test::runUntil([&] { return rows().size() == 8; }));
        rig.run->stop();
    }
    EXPECT_EQ(rows().join('|').toStdString(), " error |1 filtered |1 typed |12.50 printed |12.50 unstable |"
                                              "2345678 dropped focus changed|5 dropped stop|9876543 dropped stop");
}

namespace {

// logind as far as a lock screen goes: one session whose LockedHint the test sets. It answers
// on a thread of its own, since the watch asks with blocking calls.
class FakeLogind : public QDBusVirtualObject {
public:
    static constexpr const char* kSession = "/org/freedesktop/login1/session/_31";
    explicit FakeLogind(QDBusConnection bus) : bus_(std::move(bus)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.member() == u"GetSession")
            return bus.send(
                m.createReply(QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kSession)))));
        if (m.member() == u"Get" && m.path() == QLatin1String(kSession))
            return bus.send(m.createReply(QVariant::fromValue(QDBusVariant(locked.load()))));
        return false;
    }
    void setLocked(bool on) {
        locked = on;
        QDBusMessage changed = QDBusMessage::createSignal(QString::fromLatin1(kSession),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("PropertiesChanged"));
        changed << QStringLiteral("org.freedesktop.login1.Session")
                << QVariantMap{{QStringLiteral("LockedHint"), on}} << QStringList();
        bus_.send(changed);
    }
    std::atomic<bool> locked{false};

private:
    QDBusConnection bus_;
};

// "value outcome reason" of each reading the journal holds, joined by '|'.
std::string journalRows(const QString& path) {
    QStringList rows;
    journal::JournalDb(path).forEach([&](const journal::StoredReading& r) {
        rows.append(r.reading.value + ' ' + journal::outcomeName(r.reading.outcome) + ' ' + r.reading.reason);
    });
    return rows.join('|').toStdString();
}

} // namespace

// A locked session (logind's LockedHint, from a stand-in on a bus of the test's own) gets no
// key: values that come are dropped as "locked", and typing resumes with new readings only.
TEST(RunController, ALockedSessionGetsNoKeysAndItsValuesAreDroppedAsLocked) {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
        GTEST_SKIP() << "dbus-daemon is missing";
    QTemporaryDir dir;
    const std::string socket = dir.filePath("bus").toStdString(), address = "unix:path=" + socket;
    // Ended however the test ends: it holds the test's output open.
    struct Daemon {
        pid_t pid = ::fork();
        ~Daemon() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } daemon;
    if (daemon.pid == 0) {
        ::execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                ("--address=" + address).c_str(), nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const QString journal = dir.filePath("journal.sqlite");
    {
        Rig rig(0);
        QDBusConnection service =
            QDBusConnection::connectToBus(QString::fromStdString(address), "fake-logind");
        ASSERT_TRUE(service.isConnected());
        FakeLogind logind(service);
        ASSERT_TRUE(
            service.registerVirtualObject("/org/freedesktop/login1", &logind, QDBusConnection::SubPath));
        ASSERT_TRUE(service.registerService("org.freedesktop.login1"));
        struct Serving : QThread {
            ~Serving() override {
                quit();
                wait();
            }
        } serving;
        logind.moveToThread(&serving);
        serving.start();
        SessionLockWatch watch(QDBusConnection::connectToBus(QString::fromStdString(address), "watch"));
        ASSERT_TRUE(watch.available()) << watch.why().toStdString();
        QObject::connect(&watch, &SessionLockWatch::lockedChanged, rig.run.get(),
                         &RunController::setSessionLocked);
        Log unread;
        RecordConsumer record(unread, journal);
        Consumer seen;
        rig.run->addConsumer(&record);
        rig.run->addConsumer(&seen);
        rig.start();
        rig.pty.write("1\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits == "1"; }));
        logind.setLocked(true);
        ASSERT_TRUE(worker_test::runUntil([&] { return watch.locked(); }));
        EXPECT_EQ(rig.status.toStdString(),
                  "The session is locked: values are not typed, and those that come are dropped until it is "
                  "unlocked.");
        rig.pty.write("2\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return seen.seen.contains("2 value"); }));
        logind.setLocked(false);
        ASSERT_TRUE(worker_test::runUntil([&] { return !watch.locked(); }));
        rig.pty.write("3\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits.size() == 2; }))
            << typed(rig.keys.stream()).digits.toStdString() << "\n"
            << rig.log.events.join('\n').toStdString();
        EXPECT_EQ(typed(rig.keys.stream()).digits, "13");
        rig.run->stop();
        ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isConnected(); }));
        record.finish(std::chrono::milliseconds(0));
        service.unregisterObject("/org/freedesktop/login1", QDBusConnection::UnregisterTree);
    }
    QDBusConnection::disconnectFromBus("fake-logind");
    QDBusConnection::disconnectFromBus("watch");
    EXPECT_EQ(journalRows(journal), "1 typed |2 dropped locked|3 typed ");
}

// Without logind, on an X server, the screen saver being on is the lock: the run says so at
// Start, values that come while it is on are dropped as "locked", and typing resumes after.
TEST(RunController, WithoutLogindAnXScreenSaverOnIsALockedScreen) {
    if (::access("/usr/bin/xset", X_OK) != 0)
        TAROVEX_SKIP_OR_FAIL("xset is missing (x11-xserver-utils)");
    tarovex_test::XvfbServer server;
    const auto saver = [&](const char* how) {
        return tarovex_test::runProgram({"xset", "-display", server.display(), "s", how}) == 0;
    };
    QTemporaryDir dir;
    const QString journal = dir.filePath("journal.sqlite");
    {
        Rig rig(0);
        LockWatch watch(QDBusConnection::connectToBus("unix:path=" + dir.filePath("no-bus"), "no-logind"),
                        server.display());
        rig.run->watchLock(watch);
        Log unread;
        RecordConsumer record(unread, journal);
        Consumer seen;
        rig.run->addConsumer(&record);
        rig.run->addConsumer(&seen);
        rig.start();
        EXPECT_TRUE(
            rig.loggedLine("Lock screen: watched through the X screen saver, as logind cannot tell (no "
                           "system bus)."))
            << rig.log.events.join('\n').toStdString();
        rig.pty.write("1\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits == "1"; }));
        ASSERT_TRUE(saver("activate"));
        ASSERT_TRUE(worker_test::runUntil([&] { return watch.locked(); }));
        rig.pty.write("2\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return seen.seen.contains("2 value"); }));
        ASSERT_TRUE(saver("reset"));
        ASSERT_TRUE(worker_test::runUntil([&] { return !watch.locked(); }));
        rig.pty.write("3\r");
        ASSERT_TRUE(worker_test::runUntil([&] { return typed(rig.keys.stream()).digits.size() == 2; }));
        EXPECT_EQ(typed(rig.keys.stream()).digits, "13");
        rig.run->stop();
        ASSERT_TRUE(worker_test::runUntil([&] { return !rig.run->isConnected(); }));
        record.finish(std::chrono::milliseconds(0));
    }
    QDBusConnection::disconnectFromBus("no-logind");
    EXPECT_EQ(journalRows(journal), "1 typed |2 dropped locked|3 typed ");
}
