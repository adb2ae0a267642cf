#pragma once

// A Mosquitto broker of the test's own on a free loopback port, and a subscriber that
// collects what arrives; for the MQTT tests and the MQTT benchmark.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace mqtt_test {

inline int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The broker runs as the test's user (as root too: "user root"), on 127.0.0.1 only, with
// persistence in `dir`, so that a stopped broker keeps the subscriber's queue.
class Broker {
public:
    // `extra`: further lines for the listener (TLS files, password file).
    Broker(QString dir, QString extra = {}, int port = freeLoopbackPort())
        : dir_(std::move(dir)), port_(port) {
        QFile conf(dir_ + "/mosquitto.conf");
        if (!conf.open(QIODevice::WriteOnly))
            throw std::runtime_error("no broker configuration");
        QString text = QStringLiteral("listener %1 127.0.0.1\npersistence true\npersistence_location %2/\n"
                                      "max_queued_messages 0\nlog_dest stderr\n")
                           .arg(port_)
                           .arg(dir_);
        if (::geteuid() == 0)
            text += "user root\n";
        text += extra.isEmpty() ? QStringLiteral("allow_anonymous true\n") : extra;
        conf.write(text.toUtf8());
        conf.close();
        start();
    }
    ~Broker() { stop(); }

    int port() const { return port_; }
    void start() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("/usr/sbin/mosquitto", {"-c", dir_ + "/mosquitto.conf"});
        for (int i = 0; i < 200 && !accepts(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // SIGTERM: the broker saves its persistent state and ends.
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(10000);
    }

private:
    QString dir_;
    int port_;
    QProcess process_;
};

// A subscriber with a persistent session (QoS 1), so that a broker restart loses nothing
// queued for it. Collects the seq of each reading and the payload of the status topic.
class Subscriber {
public:
    // Returns once subscribed.
    explicit Subscriber(int port, const char* id = "test-subscriber") {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(id, false, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "tarovex/#", 1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* p, int, int, const int*) {
            auto* self = static_cast<Subscriber*>(p);
            {
                const std::lock_guard lock(self->mutex_);
                self->subscribed_ = true;
            }
            self->changed_.notify_all();
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* p, const mosquitto_message* m) {
            static_cast<Subscriber*>(p)->received(m);
        });
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        mosquitto_connect(mosq_, "127.0.0.1", port, 10);
        mosquitto_loop_start(mosq_);
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(20), [&] { return subscribed_; }))
            throw std::runtime_error("the subscriber could not subscribe");
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }

    // Waits until `done` holds for the seqs received so far.
    bool waitFor(const std::function<bool(const std::vector<qint64>&)>& done, int timeoutMs = 60000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(seqs_); });
    }
    std::vector<qint64> seqs() {
        const std::lock_guard lock(mutex_);
        return seqs_;
    }
    QString status() {
        const std::lock_guard lock(mutex_);
        return status_;
    }
    // Waits until the status topic says `status` (a new subscriber hears the retained one).
    bool waitForStatus(const QString& status, int timeoutMs = 20000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return status_ == status; });
    }
    std::function<void()> onReading; // called on the client's thread

private:
    void received(const mosquitto_message* m) {
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        {
            const std::lock_guard lock(mutex_);
            if (QByteArray(m->topic).endsWith("/status"))
                status_ = QString::fromUtf8(payload);
            else
                seqs_.push_back(QJsonDocument::fromJson(payload).object()["seq"].toInteger());
        }
        if (onReading)
            onReading();
        changed_.notify_all();
    }

    mosquitto* mosq_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<qint64> seqs_;
    QString status_;
    bool subscribed_ = false;
};

// Every seq 1..n arrived, new ones in increasing order; a repeat is of one already seen.
inline bool completeInOrder(const std::vector<qint64>& seqs, qint64 n) {
    qint64 highest = 0;
    for (const qint64 s : seqs) {
        if (s == highest + 1)
            highest = s;
        else if (s > highest)
            return false; // a gap
    }
    return highest == n;
}

} // namespace mqtt_test
