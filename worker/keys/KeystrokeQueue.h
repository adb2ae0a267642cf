#pragma once

#include <QString>

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

    explicit KeystrokeQueue(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    // The queue of the process.
    static KeystrokeQueue& processQueue();

    struct PutResult {
        bool accepted = true;
        std::size_t droppedInARow = 0; // values refused since the queue last accepted one
    };
    // Appends without ever blocking; a full queue refuses the text.
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
    std::size_t dropped_ = 0;
};

} // namespace tarovex::worker
