#pragma once

#include "journal/MqttPublisher.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace tarovex::journal {

// A run's share of its station's MQTT publisher. The station's readings are one seq
// stream in the journal and its status one topic, so the runs of one station in a process
// (same journal, same broker settings) share one publisher: each reading is sent once, by one
// client, and the status says "online" while any of them reads. The publisher goes with
// the last share.
class SharedPublisher {
public:
    // Joins the publisher of `options`, making it when there is none. `log` and `state`
    // are as MqttPublisher's, heard while this share lives; a new share hears the last state
    // at once. Throws as MqttPublisher's constructor.
    static std::unique_ptr<SharedPublisher> join(const MqttPublisher::Options& options, reading::EventLog* log,
                                                 std::function<void(BrokerState)> state = {});
    ~SharedPublisher();
    SharedPublisher(const SharedPublisher&) = delete;
    SharedPublisher& operator=(const SharedPublisher&) = delete;

    // New readings are in the journal. Any thread.
    void wake();
    // This share's run has stopped; the status says "offline" once no run of the station reads.
    void runStopped();
    // See MqttPublisher::drain.
    std::int64_t drain(std::chrono::milliseconds bound);

    struct Station;

private:
    SharedPublisher(std::shared_ptr<Station> station, std::uint64_t id);

    std::shared_ptr<Station> station_;
    std::uint64_t id_;
};

} // namespace tarovex::journal
