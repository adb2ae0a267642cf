#include "journal/SharedPublisher.h"

#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace tarovex::journal {

struct SharedPublisher::Station : reading::EventLog {
    struct Share {
        reading::EventLog* log = nullptr;
        std::function<void(BrokerState)> state;
        bool running = true;
    };

    // The shares' callbacks are called under the lock, so that none is called once its
    // share has left.
    std::mutex mutex;
    std::map<std::uint64_t, Share> shares;
    std::uint64_t nextId = 0;
    std::optional<BrokerState> last;
    // Made after the station, so that its callbacks find it; goes first.
    std::unique_ptr<MqttPublisher> publisher;

    ~Station() override { publisher.reset(); }

    void logEvent(const QString& message) override {
        const std::lock_guard lock(mutex);
        for (auto& [id, share] : shares)
            if (share.log)
                share.log->logEvent(message);
    }
    void logImportantEvent(const QString& message) override {
        const std::lock_guard lock(mutex);
        for (auto& [id, share] : shares)
            if (share.log)
                share.log->logImportantEvent(message);
    }
    void state(BrokerState s) {
        const std::lock_guard lock(mutex);
        last = s;
        for (auto& [id, share] : shares)
            if (share.state)
                share.state(s);
    }
};

namespace {

using Key = std::tuple<QString, QString, QString, QString, QString, QString, QString>;

Key keyOf(const MqttPublisher::Options& o) {
    return {o.journalPath, o.station, o.broker, o.topic, o.user, o.passwordFile, o.caFile};
}

std::mutex registryMutex;
std::map<Key, std::weak_ptr<SharedPublisher::Station>> registry;

} // namespace

std::unique_ptr<SharedPublisher> SharedPublisher::join(const MqttPublisher::Options& options, reading::EventLog* log,
                                                       std::function<void(BrokerState)> state) {
    const std::lock_guard registryLock(registryMutex);
    std::shared_ptr<Station> station = registry[keyOf(options)].lock();
    const bool made = !station;
    if (made) {
        station = std::make_shared<Station>();
        Station* s = station.get();
        // Its own reports reach the share being made too: it is added first.
        {
            const std::lock_guard lock(s->mutex);
            s->shares[s->nextId] = {log, state};
        }
        s->publisher = std::make_unique<MqttPublisher>(
            options, s, [s](BrokerState b) { s->state(b); });
        registry[keyOf(options)] = station;
        return std::unique_ptr<SharedPublisher>(new SharedPublisher(station, s->nextId++));
    }
    const std::lock_guard lock(station->mutex);
    const std::uint64_t id = station->nextId++;
    station->shares[id] = {log, std::move(state)};
    if (station->last && station->shares[id].state)
        station->shares[id].state(*station->last);
    station->publisher->runStarted();
    return std::unique_ptr<SharedPublisher>(new SharedPublisher(std::move(station), id));
}

SharedPublisher::SharedPublisher(std::shared_ptr<Station> station, std::uint64_t id)
    : station_(std::move(station)), id_(id) {}

SharedPublisher::~SharedPublisher() {
    bool othersRead = false;
    {
        const std::lock_guard lock(station_->mutex);
        station_->shares.erase(id_);
        for (const auto& [id, share] : station_->shares)
            othersRead = othersRead || share.running;
    }
    if (!othersRead)
        station_->publisher->runStopped();
    // The last share takes the publisher with it (saying offline) under the registry's lock,
    // so that a new publisher of the station says online only after that.
    const std::lock_guard registryLock(registryMutex);
    station_.reset();
}

void SharedPublisher::wake() {
    station_->publisher->wake();
}

void SharedPublisher::runStopped() {
    bool othersRead = false;
    {
        const std::lock_guard lock(station_->mutex);
        station_->shares[id_].running = false;
        for (const auto& [id, share] : station_->shares)
            othersRead = othersRead || share.running;
    }
    if (!othersRead)
        station_->publisher->runStopped();
}

std::int64_t SharedPublisher::drain(std::chrono::milliseconds bound) {
    return station_->publisher->drain(bound);
}

} // namespace tarovex::journal
