#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace tarovex::worker {

// The texts waiting to be typed. One queue serves the whole process and outlives a run, so
// values still waiting at Stop are typed by the next Start's Keybot. Bounded: an instrument
// in continuous mode sends faster than keys can be typed, and unbounded it would grow
// without end and type readings long after they were taken.
class KeystrokeQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;

    // A flood drops thousands of values a second; reporting each would drown the log (and
    // the lines the user needs) in the same message, so drops are reported at most once per
    // `reportInterval`, plus once more with the final count when the queue accepts again.
    explicit KeystrokeQueue(std::size_t capacity = kDefaultCapacity,
                            std::chrono::milliseconds reportInterval = std::chrono::seconds(1))
        : capacity_(capacity), reportInterval_(reportInterval) {}

    // The queue of the process.
    static KeystrokeQueue& processQueue();

    struct PutResult {
        bool accepted = true;
        std::size_t droppedInARow = 0; // values refused since the queue last accepted one
        bool report = false;           // droppedInARow is news for the log
    };
    // Appends without ever blocking; a full queue refuses the text. An accepted text that
    // ends a run of drops not yet fully reported comes back with that run's count.
    PutResult put(QString text);
    // The next text, waiting as long as needed; none once a stop is requested (the request
    // wakes the wait).
    std::optional<QString> take(std::stop_token stop);

    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t size() const;
    void clear();

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable_any ready_;
    std::deque<QString> texts_;
    const std::chrono::milliseconds reportInterval_;
    std::size_t dropped_ = 0;
    std::size_t reported_ = 0; // of dropped_
    std::chrono::steady_clock::time_point reportedAt_;
};

} // namespace tarovex::worker
