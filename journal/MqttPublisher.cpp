#include "journal/MqttPublisher.h"

#include "journal/ExportFormat.h"
#include "journal/JournalDb.h"
#include "journal/MosquittoLibrary.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>


#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarovex::journal {
namespace {

// libmosquitto, once the constructor has found it loaded.
const MosquittoLibrary& mq() {
    return *mosquittoLibrary();
}

// Readings sent and not yet acknowledged at a time; the rest wait in the journal.
constexpr std::size_t window = 500;
// After the client library refused a reading, how long until it is offered again.
constexpr std::chrono::seconds refusedRetry{10};
// How long the end waits for the broker to take the DISCONNECT, and drain for a count
// already asked for, before giving up on them.
constexpr std::chrono::seconds disconnectWait{2};
constexpr std::chrono::seconds countWait{1};

// The instrument's label as one topic level. A port is a label too (/dev/ttyUSB0), so the
// characters a level cannot hold become '_' rather than refuse the reading: '/' would split
// the level, '+' and '#' are wildcards, and controls, lone surrogates and non-characters are
// refused by the client library (a reading refused would hold up every one after it).
QString topicLevel(const QString& label) {
    QString level;
    level.reserve(label.size());
    for (qsizetype i = 0; i < label.size(); ++i) {
        char32_t c = label[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < label.size() && label[i + 1].isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(label[i], label[i + 1]);
        const bool refused = c == u'/' || c == u'+' || c == u'#' || c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
                             (!pair && QChar::isSurrogate(c)) || QChar::isNonCharacter(c);
        if (refused)
            level += u'_';
        else if (pair)
            level += QStringView(label).mid(i, 2);
        else
            level += label[i];
        i += pair ? 1 : 0;
    }
    return level;
}

MqttPublisher* self(void* p) {
    return static_cast<MqttPublisher*>(p);
}

std::string passwordFileName(const QString& path) {
    return "The MQTT password file " + path.toStdString();
}

// The password file opened for reading, or why it cannot be used. Non-blocking, so that a
// FIFO cannot hold the start; no link is followed, so that what was checked is what is read.
int openPasswordFile(const QString& path, std::string& problem) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = passwordFileName(path) +
                  (errno == ELOOP ? " is a symbolic link; give the file itself" : " cannot be read");
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = passwordFileName(path) + " is not a regular file";
    else if ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid())
        problem = passwordFileName(path) +
                  " must belong to this user and be readable by its owner only (chmod 600)";
    else
        return fd;
    ::close(fd);
    return -1;
}

QByteArray readPassword(const QString& path) {
    if (path.isEmpty())
        return {};
    std::string problem;
    const int fd = openPasswordFile(path, problem);
    if (fd < 0)
        throw MqttError(problem);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw MqttError(passwordFileName(path) + " cannot be read");
    QByteArray password = file.readAll();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    return password;
}

} // namespace

std::optional<std::string> passwordFileProblem(const QString& path) {
    std::string problem;
    const int fd = openPasswordFile(path, problem);
    if (fd < 0)
        return problem;
    ::close(fd);
    return std::nullopt;
}

MqttPublisher::MqttPublisher(Options options, reading::EventLog* log, std::function<void(BrokerState)> state)
    : options_(std::move(options)), log_(log), state_(std::move(state)) {
    std::string why;
    if (!mosquittoLibrary(&why))
        throw MqttError("MQTT cannot be used: " + why);
    const QUrl url(options_.broker, QUrl::StrictMode);
    const bool tls = url.scheme() == u"mqtts";
    if (!url.isValid() || (!tls && url.scheme() != u"mqtt") || url.host().isEmpty() || url.port() <= 0)
        throw MqttError("The MQTT broker " + options_.broker.toStdString() +
                        " is not mqtt://HOST:PORT or mqtts://HOST:PORT");
    readingTopic_ = QString(options_.topic).replace(QStringLiteral("{station}"), options_.station);
    statusTopic_ = QStringLiteral("tarovex/%1/status").arg(options_.station).toUtf8();
    const QByteArray password = readPassword(options_.passwordFile);
    if (!tls && !options_.user.isEmpty() && !password.isEmpty() && log_)
        log_->logImportantEvent(
            QStringLiteral("The MQTT password is sent unencrypted to %1: anyone on the network can read "
                           "it; use mqtts:// for a broker that needs a password.")
                .arg(options_.broker));
    if (tls && !options_.caFile.isEmpty() && !QFileInfo(options_.caFile).isReadable())
        throw MqttError("The CA file " + options_.caFile.toStdString() + " cannot be read");

    JournalDb check(options_.journalPath); // fails here, not later on the thread
    // Unique per publisher: a broker drops the older of two clients with one id, and runs of
    // one station with other broker settings or journals each have their own in one process.
    static std::atomic<std::uint64_t> publishers{0};
    const QByteArray id =
        QStringLiteral("tarovex-%1-%2-%3").arg(options_.station).arg(::getpid()).arg(++publishers).toUtf8();
    mosq_ = mq().mosquitto_new(id.constData(), true, this);
    if (!mosq_)
        throw MqttError("The MQTT client cannot be created");
    mq().mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* p, int rc) { self(p)->onConnect(rc); });
    mq().mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* p, int rc) { self(p)->onDisconnect(rc); });
    mq().mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* p, int mid) { self(p)->onPublish(mid); });
    mq().mosquitto_log_callback_set(
        mosq_, [](mosquitto*, void* p, int level, const char* text) { self(p)->onLog(level, text); });
    mq().mosquitto_will_set(mosq_, statusTopic_.constData(), 7, "offline", 1, true);
    if (!options_.user.isEmpty())
        mq().mosquitto_username_pw_set(mosq_, options_.user.toUtf8().constData(),
                                  password.isEmpty() ? nullptr : password.constData());
    if (tls) {
        const QByteArray ca = QFile::encodeName(options_.caFile);
        if (mq().mosquitto_tls_set(mosq_, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                              nullptr) != MOSQ_ERR_SUCCESS)
            throw MqttError("The CA file " + options_.caFile.toStdString() + " cannot be used");
    }
    mq().mosquitto_reconnect_delay_set(mosq_, 1, 10, true);
    host_ = url.host().toUtf8();
    port_ = url.port();
    // Connects in the background: a broker that is not there yet is tried again and again.
    networking_ = startNetwork();
    thread_ = std::jthread([this](std::stop_token stop) {
        try {
            run(stop);
        } catch (const JournalError& e) {
            say(QString::fromUtf8(e.what()));
        }
    });
}

MqttPublisher::~MqttPublisher() {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
    bool connected;
    {
        const std::lock_guard lock(mutex_);
        connected = connected_;
    }
    if (connected)
        mq().mosquitto_publish(mosq_, nullptr, statusTopic_.constData(), 7, "offline", 1, true);
    mq().mosquitto_disconnect(mosq_);
    // A broker that no longer reads leaves the DISCONNECT unsent and the network thread
    // waiting: it is given a moment, then stopped.
    bool gone = false;
    if (connected) {
        std::unique_lock lock(mutex_);
        gone = wake_.wait_for(lock, disconnectWait, [&] { return !connected_; });
    }
    if (networking_)
        mq().mosquitto_loop_stop(mosq_, !gone);
    mq().mosquitto_destroy(mosq_);
}

bool MqttPublisher::startNetwork() {
    // The client library tries again by itself only once a first connect has begun: a
    // refused one (no broker yet) leaves its network thread waiting for good, so the first
    // is tried from here until it begins.
    if (mq().mosquitto_connect_async(mosq_, host_.constData(), port_, 30) != MOSQ_ERR_SUCCESS)
        return false;
    mq().mosquitto_loop_start(mosq_);
    return true;
}

void MqttPublisher::runStopped() {
    const std::lock_guard lock(mutex_);
    running_ = false;
    // A station that is not reading is offline, though its queue may still be emptying.
    if (connected_)
        publishStatus();
}

void MqttPublisher::runStarted() {
    const std::lock_guard lock(mutex_);
    running_ = true;
    if (connected_)
        publishStatus();
}

void MqttPublisher::publishStatus() {
    // Under the lock, with running_ and connected_: a stop and a reconnect at the same
    // moment leave the status of the later one.
    const char* status = running_ ? "online" : "offline";
    mq().mosquitto_publish(mosq_, nullptr, statusTopic_.constData(), int(std::strlen(status)), status, 1, true);
}

void MqttPublisher::wake() {
    {
        const std::lock_guard lock(mutex_);
        newReadings_ = true;
    }
    wake_.notify_all();
}

std::int64_t MqttPublisher::drain(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    // Only a count made after this call answers it.
    const std::uint64_t request = ++countRequested_;
    newReadings_ = true;
    wake_.notify_all();
    const auto counted = [&] { return countAnswered_ >= request; };
    const auto deadline = std::chrono::steady_clock::now() + bound;
    drained_.wait_until(lock, deadline, [&] { return counted() && queued_ == 0; });
    // The count comes at once from a working publisher thread; one that is stuck (a broker
    // that stopped reading holds it in a send) is not waited for: the journal itself says
    // what waits, never a count older than the readings.
    if (drained_.wait_until(lock, deadline + countWait, counted))
        return queued_;
    lock.unlock();
    try {
        return JournalDb(options_.journalPath).pendingCount(options_.station);
    } catch (const JournalError&) {
        const std::lock_guard relock(mutex_);
        return queued_;
    }
}

void MqttPublisher::say(const QString& message) {
    {
        const std::lock_guard lock(mutex_);
        if (message == lastReport_)
            return;
        lastReport_ = message;
    }
    if (log_)
        log_->logImportantEvent(message);
}

void MqttPublisher::onConnect(int rc) {
    if (rc != 0) {
        say(QStringLiteral("The MQTT broker %1 refused the connection: %2; the readings wait in the journal.")
                .arg(options_.broker, QString::fromUtf8(mq().mosquitto_connack_string(rc))));
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        publishStatus();
        connected_ = true;
        connectionChanged_ = true;
        newReadings_ = true;
        // Whatever was in flight is sent again from the journal, in order.
        inFlight_.clear();
        resend_ = true;
        lastReport_.clear();
    }
    wake_.notify_all();
}

void MqttPublisher::onDisconnect(int rc) {
    {
        const std::lock_guard lock(mutex_);
        connected_ = false;
        connectionChanged_ = true;
    }
    wake_.notify_all();
    if (rc != 0)
        say(QStringLiteral("The connection to the MQTT broker %1 was lost; the readings wait in the journal.")
                .arg(options_.broker));
}

void MqttPublisher::onPublish(int mid) {
    {
        const std::lock_guard lock(mutex_);
        const auto it = inFlight_.find(mid);
        if (it == inFlight_.end())
            return; // the status, or a message sent before a reconnect
        acked_.push_back(it->second);
        inFlight_.erase(it);
    }
    wake_.notify_all();
}

void MqttPublisher::onLog(int level, const char* text) {
    if (level == MOSQ_LOG_ERR)
        say(QStringLiteral("MQTT broker %1: %2").arg(options_.broker, QString::fromUtf8(text)));
}

void MqttPublisher::run(std::stop_token stop) {
    JournalDb db(options_.journalPath);
    std::int64_t lastSent = 0;
    std::optional<BrokerState> told;
    const bool labelled = readingTopic_.contains(QStringLiteral("{label}"));
    auto nextCount = std::chrono::steady_clock::now();
    // Set when the client library refused a reading: it is not offered again before then.
    std::chrono::steady_clock::time_point retryAt{};
    for (;;) {
        // The loop comes round at least once a second.
        if (!networking_)
            networking_ = startNetwork();
        std::vector<std::int64_t> acks;
        bool send = false;
        std::uint64_t request = 0;
        {
            std::unique_lock lock(mutex_);
            const auto canSend = [&] {
                return connected_ && newReadings_ && inFlight_.size() < window &&
                       std::chrono::steady_clock::now() >= retryAt;
            };
            wake_.wait_for(lock, stop, std::chrono::seconds(1), [&] {
                return !acked_.empty() || countAnswered_ < countRequested_ ||
                       (state_ && connectionChanged_) || canSend();
            });
            if (stop.stop_requested() && acked_.empty())
                return;
            acks.swap(acked_);
            request = countRequested_;
            if (resend_) {
                resend_ = false;
                lastSent = 0;
            }
            send = canSend();
        }
        if (!acks.empty())
            db.markPublished(options_.station, acks);
        if (send) {
            std::unique_lock lock(mutex_);
            const std::size_t room = window - inFlight_.size();
            // Cleared before the read: a wake while the journal is read holds for the next round.
            newReadings_ = false;
            lock.unlock();
            const auto readings = db.pending(options_.station, lastSent, int(room));
            // Under the lock, so that an acknowledgement cannot come before its message id
            // is known.
            lock.lock();
            if (readings.size() >= room)
                newReadings_ = true;
            int refused = MOSQ_ERR_SUCCESS;
            QByteArray topic;
            QString topicLabel;
            for (const StoredReading& r : readings) {
                // The station's instruments each have a topic of their own with {label}.
                if (topic.isEmpty() || (labelled && r.reading.label != topicLabel)) {
                    topicLabel = r.reading.label;
                    QString name = readingTopic_;
                    if (labelled)
                        name.replace(QStringLiteral("{label}"), topicLevel(topicLabel));
                    topic = name.toUtf8();
                }
                const QByteArray payload = QJsonDocument(jsonObject(r)).toJson(QJsonDocument::Compact);
                int mid = 0;
                const int rc = !connected_ || resend_ ? MOSQ_ERR_NO_CONN
                                                      : mq().mosquitto_publish(mosq_, &mid, topic.constData(),
                                                                               int(payload.size()),
                                                                               payload.constData(), 1, false);
                if (rc != MOSQ_ERR_SUCCESS) {
                    newReadings_ = true;
                    // Lost connections come back by themselves; a refusal would be refused
                    // again at once, so it waits instead of spinning.
                    if (rc != MOSQ_ERR_NO_CONN) {
                        refused = rc;
                        retryAt = std::chrono::steady_clock::now() + refusedRetry;
                    }
                    break;
                }
                inFlight_[mid] = r.seq;
                lastSent = r.seq;
            }
            lock.unlock();
            if (refused != MOSQ_ERR_SUCCESS)
                say(QStringLiteral("The MQTT client refused to publish to topic %1: %2; the readings "
                                   "wait in the journal.")
                        .arg(QString::fromUtf8(topic), QString::fromUtf8(mq().mosquitto_strerror(refused))));
        }
        const std::int64_t queued = db.pendingCount(options_.station);
        BrokerState now;
        {
            const std::lock_guard lock(mutex_);
            queued_ = queued;
            countAnswered_ = request;
            now = {connected_, queued};
            connectionChanged_ = false;
        }
        drained_.notify_all();
        // The connection at once; the count, which changes with every reading, once a second.
        if (state_ && (!told || told->connected != now.connected ||
                       (told->waiting != now.waiting && std::chrono::steady_clock::now() >= nextCount))) {
            state_(now);
            told = now;
            nextCount = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        }
    }
}

} // namespace tarovex::journal
