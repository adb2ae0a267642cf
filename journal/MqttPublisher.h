#pragma once

#include "journal/BrokerState.h"
#include "journal/Sinks.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace tarovex::journal {

// A broker setting that cannot work (a password file others may read, no such CA file).
class MqttError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why the password file would be refused (missing, a link, not a regular file, not this
// user's, readable by others); nothing when it can be used. Never blocks (a FIFO).
std::optional<std::string> passwordFileProblem(const QString& path);

// Publishes the station's readings from the journal to an MQTT broker: each one as a JSON
// object with QoS 1, in seq order. A reading stays marked in the journal until the broker
// has acknowledged it, so one not yet acknowledged is sent again after a reconnect (by the
// client library) or after a restart (from the journal): none is lost, and a repeat is
// always of an already-sent seq. A retained status topic says "online" while the run reads,
// "offline" once it stops and as the last will. libmosquitto (Debian's libmosquitto1): the broker project's own C client,
// maintained, with TLS, automatic reconnection and a thread of its own for the network.
class MqttPublisher {
public:
    struct Options {
        QString broker; // mqtt://HOST:PORT or mqtts://HOST:PORT
        QString topic;  // {station} is replaced, and {label} by each reading's label
        QString station;
        QString user;
        QString passwordFile;
        QString caFile; // mqtts without one: the system's certificates
        QString journalPath;
    };

    // Starts connecting in the background; broker errors reach `log` as important messages
    // (from another thread; may be null), each once until the connection works. `state`
    // hears the connection going up or down at once and changes of the waiting count at most
    // once a second, from the publisher's thread (may be empty). Throws MqttError for
    // settings that cannot work, JournalError when the journal cannot be opened.
    MqttPublisher(Options options, reading::EventLog* log, std::function<void(BrokerState)> state = {});
    // Says "offline" on the status topic and disconnects; what is not acknowledged stays
    // queued in the journal.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // New readings are in the journal. Any thread.
    void wake();
    // The run has stopped: the status says "offline" (also after a reconnect), while what is
    // still queued goes on being sent. Any thread.
    void runStopped();
    // A run reads again: the status says "online". Any thread.
    void runStarted();
    // Waits at most `bound` for every queued reading to be acknowledged; returns how many
    // are still queued.
    std::int64_t drain(std::chrono::milliseconds bound);

private:
    void run(std::stop_token stop);
    void say(const QString& message);
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onPublish(int mid);
    void onLog(int level, const char* text);

    void publishStatus(); // with mutex_ held
    bool startNetwork();

    Options options_;
    reading::EventLog* log_;
    std::function<void(BrokerState)> state_;
    QString readingTopic_; // {station} replaced
    QByteArray statusTopic_;
    mosquitto* mosq_ = nullptr;
    QByteArray host_;
    int port_ = 0;
    bool networking_ = false; // the client's network thread runs; the constructor's, then run's

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable drained_;
    bool newReadings_ = true;
    // drain's requests for a count of the queued readings, and the last one answered.
    std::uint64_t countRequested_ = 0;
    std::uint64_t countAnswered_ = 0;
    bool connected_ = false;
    bool running_ = true;
    bool connectionChanged_ = false; // not yet told to `state_`
    bool resend_ = false;                  // after a (re)connect: from the oldest reading not acknowledged
    std::map<int, std::int64_t> inFlight_; // message id -> seq
    std::vector<std::int64_t> acked_;
    std::int64_t queued_ = 0;
    QString lastReport_;
    std::jthread thread_;
};

} // namespace tarovex::journal
