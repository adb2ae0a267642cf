// MQTT publishing from the journal against a real Mosquitto broker on loopback.
#include "MosquittoSupport.h"
#include "journal/JournalDb.h"
#include "journal/MqttPublisher.h"
#include "journal/Sinks.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarovex::journal;
using mqtt_test::Broker;
using mqtt_test::Subscriber;

namespace {

class Mqtt : public testing::Test {
protected:
    QTemporaryDir dir;
    QString journal = dir.path() + "/journal.sqlite";
    std::mutex reportsMutex;
    QStringList reports;

    MqttPublisher::Options options(const QString& broker) {
        return {broker, "tarovex/{station}/readings", "S1", {}, {}, {}, journal};
    }
    Report collect() {
        return [this](const QString& m) {
            const std::lock_guard lock(reportsMutex);
            reports << m;
        };
    }
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
        void record(int n) {
            for (int i = 0; i < n; ++i)
                thread->append({1'765'000'000'000 + i, "/dev/ttyUSB0", "GENERIC", "1\r", QString::number(i),
                                Outcome::Typed});
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
    broker.stop(); // mid-stream
    station.record(3000);
    broker.start();
    station.record(3000);
    EXPECT_EQ(publisher.drain(std::chrono::seconds(60)), 0);
    EXPECT_TRUE(subscriber.waitFor([](const auto& s) { return mqtt_test::completeInOrder(s, 10'000); }))
        << subscriber.seqs().size() << " received";
    EXPECT_TRUE(mqtt_test::completeInOrder(subscriber.seqs(), 10'000));
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
