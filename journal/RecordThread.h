#pragma once

#include "journal/Reading.h"
#include "reading/EventLog.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

namespace tarovex::journal {

// A place readings are written to (the journal, the live CSV file). Called on the record
// thread only.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // One group of readings, in arrival order.
    virtual void write(std::span<const Reading> group) = 0;
    // Housekeeping (retention), at the start and then about once an hour.
    virtual void maintain() {}
};

// Writes readings to its sinks on a thread of its own, so that the reading thread never
// waits on a disk. Whatever arrived within `gatherTime` of a group's first reading, or
// while the previous group was being written, forms the next group, at most `maxGroup`
// readings: at a trickle each reading is written on its own a moment later, in a flood the
// groups grow and one transaction carries many. A process killed mid-write thus loses at
// most the group being written.
// The queue is bounded: an instrument gives a few lines a second, so only a flood (or a disk
// that stalls) fills it. Readings beyond the bound are dropped and counted, and the count
// reaches `log` once, when the backlog has been written (or at the end). `log` (may be null)
// hears the record's messages, all important, on the record thread.
class RecordThread {
public:
    static constexpr std::size_t maxGroup = 8192;
    // Long enough for the run to hand a value out before its commit begins (a few tenths of
    // a millisecond), short enough that the broker has it within a few milliseconds.
    static constexpr std::chrono::milliseconds gatherTime{1};
    // Some 10 MB of readings waiting.
    static constexpr std::size_t defaultMaxQueued = 1 << 16;

    explicit RecordThread(std::vector<std::unique_ptr<RecordSink>> sinks, reading::EventLog* log = nullptr,
                          std::size_t maxQueued = defaultMaxQueued);
    // Writes what is queued, then ends the thread.
    ~RecordThread();
    RecordThread(const RecordThread&) = delete;
    RecordThread& operator=(const RecordThread&) = delete;

    // Any thread; never waits on the disk.
    void append(Reading reading);
    // Waits until every reading appended before the call has been written (without waiting
    // for the group to gather).
    void flush();
    // Readings dropped since the start because too many were waiting.
    std::uint64_t dropped() const;

private:
    void run(std::stop_token stop);

    std::vector<std::unique_ptr<RecordSink>> sinks_;
    reading::EventLog* log_;
    const std::size_t maxQueued_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable written_;
    std::vector<Reading> queue_;
    std::uint64_t appended_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t droppedUnreported_ = 0;
    int flushing_ = 0; // flush() calls waiting
    std::jthread thread_;
};

} // namespace tarovex::journal
