// MQTT publishing from the journal against a real Mosquitto broker on loopback.
#include "MosquittoSupport.h"
#include "journal/JournalDb.h"
#include "journal/MqttPublisher.h"
#include "journal/SharedPublisher.h"
#include "journal/Sinks.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <future>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <time.h>

using namespace tarovex::journal;
using mqtt_test::Broker;
using mqtt_test::Subscriber;

namespace {

class Mqtt : public testing::Test, public tarovex::reading::EventLog {
protected:
    QTemporaryDir dir;
    QString journal = dir.path() + "/journal.sqlite";
    std::mutex reportsMutex;
    QStringList reports;

    static QString url(int port) { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port); }
    MqttPublisher::Options options(const QString& broker) {
        return {broker, "tarovex/{station}/readings", "S1", {}, {}, {}, journal};
    }
    // The publisher's messages, from its thread; every one needs the user's attention.
    void logImportantEvent(const QString& m) override {
        const std::lock_guard lock(reportsMutex);
        reports << m;
    }
    void logEvent(const QString& m) override { ADD_FAILURE() << "not marked important: " << m.toStdString(); }
    tarovex::reading::EventLog* collect() { return this; }
    bool reported(const QString& part, int timeoutMs = 20000) {
        for (int i = 0; i < timeoutMs / 20; ++i) {
            {
                const std::lock_guard lock(reportsMutex);
                if (reports.join('\n').contains(part))
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // The journal with publishing, woken by each group as a run's recorder does it.
    struct Station {
        Station(const QString& journal, MqttPublisher* publisher) {
            std::vector<std::unique_ptr<RecordSink>> sinks;
            sinks.push_back(std::make_unique<JournalSink>(std::make_unique<JournalDb>(journal),
                                                          JournalSink::Options{"S1", 30, 1LL << 30, true},
                                                          nullptr, [publisher](std::int64_t) {
                                                              if (publisher)
                                                                  publisher->wake();
                                                          }));
            thread.emplace(std::move(sinks));
        }
        // Stamped now: a second station's start-up retention would prune older readings.
        void record(int n, const QString& value = {}, const QString& label = "/dev/ttyUSB0") {
            const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
            for (int i = 0; i < n; ++i)
                thread->append({now + i,
                                "/dev/ttyUSB0",
                                "GENERIC",
                                "1\r",
                                value.isEmpty() ? QString::number(i) : value,
                                Outcome::Typed,
                                {},
                                label});
            thread->flush();
        }
        std::optional<RecordThread> thread;
    };
};

QString writeFile(const QString& path, const QByteArray& text, int mode) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
    return path;
}

} // namespace

TEST_F(Mqtt, TenThousandReadingsArriveOnceEachInOrderThroughABrokerRestart) {
    Broker broker(dir.path());
    Subscriber subscriber(broker.port());
    MqttPublisher publisher(options(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port())), collect());
    Station station(journal, &publisher);
    station.record(4000);
    ASSERT_TRUE(subscriber.waitFor([](const auto& s) { return s.size() >= 1000; }));
    broker.save(); // the subscription outlives the kill, as after a broker's autosave
    broker.kill(); // mid-stream, without warning
    publisher.drain(std::chrono::milliseconds(500)); // the acknowledgements before it are marked
    // A killed broker loses what it acknowledged and had not passed on yet; what it had not
    // acknowledged must all come again.
    std::set<qint64> acknowledged;
    for (qint64 seq = 1; seq <= 4000; ++seq)
        acknowledged.insert(seq);
    for (const StoredReading& r : JournalDb(journal).pending("S1", 0, 10'000))
        acknowledged.erase(r.seq);
    station.record(3000);
    broker.start();
    station.record(3000);
    EXPECT_EQ(publisher.drain(std::chrono::seconds(60)), 0);
    EXPECT_TRUE(subscriber.waitFor([](const auto& s) { return std::count(s.begin(), s.end(), 10'000) > 0; }))
        << subscriber.seqs().size() << " received";
    // Repeats only of what was in flight at the outage (the publisher's window of 500), sent
    // again both by the client library and from the journal.
    EXPECT_EQ(mqtt_test::deliveryFault(subscriber.readings(), 10'000, 1000, acknowledged), "");
    EXPECT_EQ(subscriber.status(), "online");
}

TEST_F(Mqtt, ReadingsQueuedWhileTheBrokerWasAwayArriveAfterTheProgramRestarts) {
    const int port = mqtt_test::freeLoopbackPort();
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    {
        MqttPublisher publisher(options(url), collect());
        Station station(journal, &publisher);
        station.record(500);
        EXPECT_EQ(publisher.drain(std::chrono::milliseconds(300)), 500);
    } // the program ends with everything queued
    Broker broker(dir.path(), {}, port);
    Subscriber subscriber(broker.port());
    MqttPublisher publisher(options(url), collect());
    EXPECT_EQ(publisher.drain(std::chrono::seconds(30)), 0);
    EXPECT_TRUE(subscriber.waitFor([](const auto& s) { return mqtt_test::completeInOrder(s, 500); }));
    EXPECT_EQ(mqtt_test::deliveryFault(subscriber.readings(), 500, 0), "");
}

TEST_F(Mqtt, ReadingsSentButNeverAcknowledgedStayQueuedAndArriveAfterARestart) {
    {
        mqtt_test::SilentBroker silent;
        MqttPublisher publisher(options(url(silent.port())), collect());
        Station station(journal, &publisher);
        station.record(30);
        ASSERT_TRUE(silent.waitFor(R"("seq":10,)"))
            << "sent, as far as the client may before acknowledgements";
        EXPECT_EQ(publisher.drain(std::chrono::milliseconds(300)), 30);
    } // the program ends
    EXPECT_EQ(JournalDb(journal).pendingCount("S1"), 30);
    Broker broker(dir.path());
    Subscriber subscriber(broker.port());
    MqttPublisher publisher(options(url(broker.port())), collect());
    EXPECT_EQ(publisher.drain(std::chrono::seconds(30)), 0);
    EXPECT_TRUE(subscriber.waitFor([](const auto& s) { return s.size() >= 30; }));
    EXPECT_EQ(mqtt_test::deliveryFault(subscriber.readings(), 30, 0), "");
}

TEST_F(Mqtt, TheEndDoesNotWaitForABrokerThatStoppedReading) {
    mqtt_test::SilentBroker stalled(false);
    auto publisher = std::make_unique<MqttPublisher>(options(url(stalled.port())), collect());
    Station(journal, publisher.get()).record(40, QString(1'000'000, u'7')); // more than the sockets hold
    EXPECT_EQ(publisher->drain(std::chrono::seconds(1)), 40);
    auto end = std::async(std::launch::async, [&] { publisher.reset(); });
    EXPECT_EQ(end.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the end hangs";
    end.wait();
    EXPECT_EQ(JournalDb(journal).pendingCount("S1"), 40);
}

TEST_F(Mqtt, ATopicTheClientRefusesIsReportedOnceAndDoesNotSpin) {
    Broker broker(dir.path());
    auto o = options(url(broker.port()));
    o.topic = QStringLiteral("tarovex/{station}/\uFDD0"); // a noncharacter: not valid MQTT UTF-8
    MqttPublisher publisher(o, collect());
    Station station(journal, &publisher);
    station.record(3);
    EXPECT_TRUE(reported("refused to publish")) << reports.join('\n').toStdString();
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec * 1000 + t.tv_nsec / 1'000'000;
    };
    const auto before = cpu();
    EXPECT_EQ(publisher.drain(std::chrono::seconds(2)), 3);
    EXPECT_LT(cpu() - before, 500) << "milliseconds of processor time while waiting 2 s";
    const std::lock_guard lock(reportsMutex);
    EXPECT_EQ(reports.filter("refused to publish").size(), 1) << reports.join('\n').toStdString();
}

TEST_F(Mqtt, APasswordOverPlainMqttIsWarnedOfOnce) {
    const int port = mqtt_test::freeLoopbackPort();
    auto o = options(url(port));
    o.user = "scale";
    o.passwordFile = writeFile(dir.path() + "/pw", "secret\n", 0600);
    { MqttPublisher publisher(o, collect()); }
    o.broker = QStringLiteral("mqtts://127.0.0.1:%1").arg(port);
    { MqttPublisher publisher(o, collect()); }
    const std::lock_guard lock(reportsMutex);
    EXPECT_EQ(reports.filter("sent unencrypted").size(), 1) << reports.join('\n').toStdString();
}

TEST_F(Mqtt, APasswordFileMustBeARegularFileAndAFifoDoesNotBlock) {
    const QString fifo = dir.path() + "/fifo", folder = dir.path() + "/folder", link = dir.path() + "/link";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    const QString file = writeFile(dir.path() + "/pw", "secret\n", 0600);
    ASSERT_TRUE(QFile::link(file, link));
    const std::pair<QString, const char*> rows[] = {{fifo, "is not a regular file"},
                                                    {folder, "is not a regular file"},
                                                    {"/dev/null", "is not a regular file"},
                                                    {link, "is a symbolic link"},
                                                    {dir.path() + "/none", "cannot be read"}};
    for (const auto& [path, problem] : rows)
        EXPECT_TRUE(QString::fromStdString(passwordFileProblem(path).value_or("")).contains(problem))
            << path.toStdString();
    EXPECT_EQ(passwordFileProblem(file), std::nullopt);
    auto o = options(url(mqtt_test::freeLoopbackPort()));
    o.user = "scale";
    o.passwordFile = fifo;
    EXPECT_THROW(MqttPublisher(o, collect()), MqttError);
}

TEST_F(Mqtt, WrongCredentialsAndALooseOrUntrustedSecretAreClearErrorsWhileReadingsWait) {
    const QString passwords = dir.path() + "/passwords";
    ASSERT_EQ(QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords, "scale", "right"}), 0);
    Broker broker(dir.path(), QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords));
    auto o = options(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()));
    o.user = "scale";
    o.passwordFile = writeFile(dir.path() + "/pw", "right\n", 0644);
    EXPECT_THROW(
        try { MqttPublisher(o, collect()); } catch (const MqttError& e) {
            EXPECT_TRUE(QString(e.what()).contains("readable by its owner only")) << e.what();
            throw;
        },
        MqttError);

    writeFile(o.passwordFile, "wrong\n", 0600);
    {
        MqttPublisher publisher(o, collect());
        Station station(journal, &publisher);
        station.record(3);
        EXPECT_TRUE(reported("refused the connection: Connection Refused: not authorised"))
            << reports.join('\n').toStdString();
        EXPECT_EQ(publisher.drain(std::chrono::milliseconds(200)), 3);
    }
    writeFile(o.passwordFile, "right\n", 0600);
    MqttPublisher publisher(o, collect());
    EXPECT_EQ(publisher.drain(std::chrono::seconds(30)), 0);
}

TEST_F(Mqtt, TlsWithTheTestsOwnCaAndAnUntrustedCertificateRefused) {
    const QString script = QStringLiteral(R"(set -e; cd '%1'
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $ec -keyout ca.key -out ca.crt -subj /CN=TestCA -days 2
openssl req -x509 $ec -keyout other.key -out other.crt -subj /CN=OtherCA -days 2
openssl req $ec -keyout server.key -out server.csr -subj /CN=localhost
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > san
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile san
)")
                               .arg(dir.path());
    ASSERT_EQ(QProcess::execute("bash", {"-c", script + " 2>/dev/null"}), 0);
    Broker broker(dir.path(),
                  QStringLiteral("allow_anonymous true\ncafile %1/ca.crt\ncertfile %1/server.crt\n"
                                 "keyfile %1/server.key\n")
                      .arg(dir.path()));
    auto o = options(QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port()));
    o.caFile = dir.path() + "/other.crt";
    {
        MqttPublisher publisher(o, collect());
        Station station(journal, &publisher);
        station.record(2);
        EXPECT_TRUE(reported("certificate verify failed")) << reports.join('\n').toStdString();
        EXPECT_EQ(publisher.drain(std::chrono::milliseconds(200)), 2);
    }
    o.caFile = dir.path() + "/ca.crt";
    MqttPublisher publisher(o, collect());
    EXPECT_EQ(publisher.drain(std::chrono::seconds(30)), 0);
}

TEST_F(Mqtt, AStoppedRunSaysOfflineAlsoAfterAReconnectAndGoesOnSendingWhatWaits) {
    Broker broker(dir.path());
    Subscriber subscriber(broker.port());
    MqttPublisher publisher(options(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port())), collect());
    Station station(journal, &publisher);
    ASSERT_TRUE(subscriber.waitForStatus("online"));
    station.record(300);
    publisher.runStopped();
    EXPECT_TRUE(subscriber.waitForStatus("offline"));
    EXPECT_EQ(publisher.drain(std::chrono::seconds(30)), 0);

    broker.stop();
    station.record(100); // the stopped run's last readings, written while the broker is away
    broker.start();
    EXPECT_EQ(publisher.drain(std::chrono::seconds(60)), 0);
    EXPECT_TRUE(subscriber.waitFor([](const auto& s) { return mqtt_test::completeInOrder(s, 400); }));
    // All 300 were acknowledged before the stop: a repeat can only be the broker's own
    // resend, after its restart, of what the subscriber had not confirmed yet (more of them
    // on a loaded machine), each the same as the first.
    EXPECT_EQ(mqtt_test::deliveryFault(subscriber.readings(), 400, 400), "");
    // What the broker keeps: a new subscriber hears the retained status.
    Subscriber late(broker.port(), "late-subscriber");
    EXPECT_TRUE(late.waitForStatus("offline", 5000)) << late.status().toStdString();
}

TEST_F(Mqtt, TheStateListenerHearsTheConnectionComeGoAndComeBackWithTheReadingsWaiting) {
    // Started before its broker, as a station may be.
    const int port = mqtt_test::freeLoopbackPort();
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<BrokerState> states;
    MqttPublisher publisher(options(QStringLiteral("mqtt://127.0.0.1:%1").arg(port)), collect(),
                            [&](BrokerState s) {
                                const std::lock_guard lock(mutex);
                                states.push_back(s);
                                changed.notify_all();
                            });
    const auto waitUntil = [&](bool connected, std::int64_t waiting) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] {
            return !states.empty() && states.back().connected == connected && states.back().waiting == waiting;
        });
    };
    Station station(journal, &publisher);
    station.record(3);
    EXPECT_TRUE(waitUntil(false, 3));
    Broker broker(dir.path(), {}, port);
    EXPECT_TRUE(waitUntil(true, 0));
    broker.stop();
    EXPECT_TRUE(waitUntil(false, 0));
    station.record(50);
    EXPECT_TRUE(waitUntil(false, 50));
    broker.start();
    EXPECT_TRUE(waitUntil(true, 0));
    const std::lock_guard lock(mutex);
    EXPECT_LT(states.size(), 14u) << "the count is told at most once a second, not per reading";
}

// Runs of one station in one process record into one journal at once: they publish through
// one client, so each reading arrives once and in seq order, and none throws another off.
// With {label} each instrument has a topic of its own; what a topic level cannot hold in a
// label (a port is one) becomes '_', so that no reading is refused.
TEST_F(Mqtt, RunsOfOneStationInOneProcessPublishEachReadingOnce) {
    const struct {
        QString topic;
        std::vector<std::pair<QString, QByteArray>> labels; // label -> its topic
    } cases[] = {
        {"tarovex/{station}/readings",
         {{"/dev/ttyUSB0", "tarovex/S1/readings"}, {"balance", "tarovex/S1/readings"}}},
        {"tarovex/{station}/{label}/readings",
         {{"/dev/ttyUSB0", "tarovex/S1/_dev_ttyUSB0/readings"},
          {"balance", "tarovex/S1/balance/readings"},
          {"a+b#c", "tarovex/S1/a_b_c/readings"},
          {"Waage \U0001F600\t\uFDD0", "tarovex/S1/Waage \U0001F600__/readings"}}},
    };
    for (const auto& c : cases) {
        QTemporaryDir caseDir;
        const QString caseJournal = caseDir.path() + "/journal.sqlite";
        Broker broker(caseDir.path());
        Subscriber subscriber(broker.port());
        MqttPublisher::Options o = options(url(broker.port()));
        o.topic = c.topic;
        o.journalPath = caseJournal;
        std::vector<std::unique_ptr<SharedPublisher>> shares;
        std::vector<std::unique_ptr<Station>> stations;
        for (std::size_t r = 0; r < c.labels.size(); ++r) {
            shares.push_back(SharedPublisher::join(o, collect()));
            stations.push_back(std::make_unique<Station>(caseJournal, nullptr));
        }
        {
            std::vector<std::jthread> runs;
            for (std::size_t r = 0; r < c.labels.size(); ++r)
                runs.emplace_back([&, r] {
                    for (int i = 0; i < 4; ++i) {
                        stations[r]->record(25, c.labels[r].first, c.labels[r].first);
                        shares[r]->wake();
                    }
                });
        }
        const qint64 n = qint64(c.labels.size()) * 100;
        for (const auto& share : shares)
            EXPECT_EQ(share->drain(std::chrono::seconds(30)), 0);
        EXPECT_TRUE(subscriber.waitFor([n](const auto& s) { return mqtt_test::completeInOrder(s, n); }));
        EXPECT_EQ(mqtt_test::deliveryFault(subscriber.readings(), n, 0), "");
        const std::map<QString, QByteArray> topicOf(c.labels.begin(), c.labels.end());
        const auto payloads = subscriber.readings();
        const auto topics = subscriber.topics();
        for (std::size_t i = 0; i < payloads.size(); ++i) {
            const QJsonObject reading = QJsonDocument::fromJson(payloads[i]).object();
            EXPECT_EQ(reading["label"].toString(), reading["value"].toString());
            EXPECT_EQ(topics[i].toStdString(), topicOf.at(reading["label"].toString()).toStdString());
        }
    }
    const std::lock_guard lock(reportsMutex);
    EXPECT_FALSE(reports.join('\n').contains("was lost")) << reports.join('\n').toStdString();
}
