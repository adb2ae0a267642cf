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
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <signal.h>
#include <stdexcept>
#include <string>
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
// persistence in `dir`, so that a stopped broker keeps the subscriber's queue. It passes
// each message on to the subscriber before acknowledging it (no in-flight limit), so that
// a killed broker has acknowledged nothing that only its memory held.
class Broker {
public:
    // `extra`: further lines for the listener (TLS files, password file).
    Broker(QString dir, QString extra = {}, int port = freeLoopbackPort())
        : dir_(std::move(dir)), port_(port) {
        QFile conf(dir_ + "/mosquitto.conf");
        if (!conf.open(QIODevice::WriteOnly))
            throw std::runtime_error("no broker configuration");
        QString text = QStringLiteral("listener %1 127.0.0.1\npersistence true\npersistence_location %2/\n"
                                      "max_queued_messages 0\nmax_inflight_messages 0\nlog_dest stderr\n")
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
    // Writes the persistent state now (SIGUSR1), so that a kill keeps the sessions so far.
    void save() {
        const QString db = dir_ + "/mosquitto.db";
        ::kill(pid_t(process_.processId()), SIGUSR1);
        for (int i = 0; i < 500 && !QFile::exists(db); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // SIGKILL: an outage without warning; what the broker had not saved is gone.
    void kill() {
        if (process_.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished(10000);
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
    // The payload of each reading received, in order, repeats included.
    std::vector<QByteArray> readings() {
        const std::lock_guard lock(mutex_);
        return payloads_;
    }
    // The topic of each of readings().
    std::vector<QByteArray> topics() {
        const std::lock_guard lock(mutex_);
        return topics_;
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
            else {
                seqs_.push_back(QJsonDocument::fromJson(payload).object()["seq"].toInteger());
                payloads_.push_back(payload);
                topics_.push_back(m->topic);
            }
        }
        if (onReading)
            onReading();
        changed_.notify_all();
    }

    mosquitto* mosq_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<qint64> seqs_;
    std::vector<QByteArray> payloads_;
    std::vector<QByteArray> topics_;
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

// What is wrong with the readings a subscriber received, or nothing: every seq 1..n must
// arrive, new ones in increasing order, and a repeat must be of a seq already received, with
// the same content; at most `repeats` repeats. Only a seq in `mayBeLost` may be missing.
inline std::string deliveryFault(const std::vector<QByteArray>& payloads, qint64 n, std::size_t repeats,
                                 const std::set<qint64>& mayBeLost = {}) {
    std::map<qint64, QByteArray> first;
    qint64 next = 1;
    std::size_t repeated = 0;
    const auto skipTo = [&](qint64 seq) {
        for (; next < seq; ++next)
            if (!mayBeLost.count(next))
                return false;
        return true;
    };
    for (const QByteArray& payload : payloads) {
        const qint64 seq = QJsonDocument::fromJson(payload).object()["seq"].toInteger();
        if (seq >= next) {
            if (!skipTo(seq))
                return "seq " + std::to_string(seq) + " arrived before " + std::to_string(next);
            first[seq] = payload;
            next = seq + 1;
        } else if (!first.count(seq)) {
            return "seq " + std::to_string(seq) + " arrived late or was never sent before";
        } else if (payload != first[seq]) {
            return "seq " + std::to_string(seq) + " repeated with other content: " + payload.toStdString();
        } else {
            ++repeated;
        }
    }
    if (!skipTo(n + 1))
        return "seq " + std::to_string(next) + " of " + std::to_string(n) + " never arrived";
    if (repeated > repeats)
        return std::to_string(repeated) + " repeats";
    return {};
}

// A broker that answers the connection (CONNACK) and then takes everything without ever
// acknowledging a publish, as one that hangs after the handshake.
class SilentBroker {
public:
    // `reads` false: nothing more is read after the CONNECT, as from a broker that stopped
    // (its socket buffers fill up).
    explicit SilentBroker(bool reads = true) : reads_(reads) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0 || ::pipe(stop_) != 0)
            throw std::runtime_error("no silent broker");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentBroker() {
        [[maybe_unused]] const ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        for (const int fd : {listener_, stop_[0], stop_[1]})
            ::close(fd);
    }
    int port() const { return port_; }
    // Waits until what the clients sent holds `text`.
    bool waitFor(const QByteArray& text, int timeoutMs = 20000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return received_.contains(text); });
    }

private:
    void serve() {
        std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        std::vector<bool> answered(2, true);
        while (::poll(fds.data(), fds.size(), -1) >= 0 && !fds[0].revents) {
            if (fds[1].revents) {
                fds.push_back({::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC), POLLIN, 0});
                answered.push_back(false);
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                char buffer[65536];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1; // gone; left in place
                    continue;
                }
                if (!answered[i]) { // the first bytes are the CONNECT
                    static const char connack[] = {0x20, 0x02, 0x00, 0x00};
                    [[maybe_unused]] const ssize_t w = ::write(fds[i].fd, connack, sizeof connack);
                    answered[i] = true;
                    if (!reads_)
                        fds[i].events = 0;
                }
                {
                    const std::lock_guard lock(mutex_);
                    received_.append(buffer, n);
                }
                changed_.notify_all();
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].fd >= 0)
                ::close(fds[i].fd);
    }

    bool reads_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    QByteArray received_;
    std::thread thread_;
};

} // namespace mqtt_test
