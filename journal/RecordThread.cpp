#include "journal/RecordThread.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarovex::journal {

RecordThread::RecordThread(std::vector<std::unique_ptr<RecordSink>> sinks, reading::EventLog* log,
                           std::size_t maxQueued)
    : sinks_(std::move(sinks)), log_(log), maxQueued_(std::max<std::size_t>(maxQueued, 1)) {
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

RecordThread::~RecordThread() {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
}

void RecordThread::append(Reading reading) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (queue_.size() >= maxQueued_) {
            ++dropped_;
            ++droppedUnreported_;
            return;
        }
        wake = queue_.empty() || queue_.size() + 1 == maxGroup;
        queue_.push_back(std::move(reading));
        ++appended_;
    }
    // The writer waits for the first reading of a group and for a full one only.
    if (wake)
        wake_.notify_one();
}

void RecordThread::flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = appended_;
    ++flushing_;
    wake_.notify_all();
    written_.wait(lock, [&] { return done_ >= target; });
    --flushing_;
}

std::uint64_t RecordThread::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

void RecordThread::run(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    auto nextMaintenance = Clock::now();
    std::vector<Reading> group;
    std::vector<Reading> rest;
    for (;;) {
        if (Clock::now() >= nextMaintenance) {
            for (auto& sink : sinks_)
                sink->maintain();
            nextMaintenance = Clock::now() + std::chrono::hours(1);
        }
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, std::chrono::minutes(1), [&] { return !queue_.empty(); });
            if (queue_.empty()) {
                if (stop.stop_requested())
                    return;
                continue;
            }
            // A moment for the group to gather: a reading's commit does not compete with its
            // value on the way out, and a flood makes fewer, larger transactions.
            wake_.wait_for(lock, stop, gatherTime,
                           [&] { return queue_.size() >= maxGroup || flushing_ > 0; });
            if (queue_.size() <= maxGroup) {
                group.swap(queue_);
            } else {
                const auto cut = queue_.begin() + maxGroup;
                group.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(cut));
                rest.assign(std::make_move_iterator(cut), std::make_move_iterator(queue_.end()));
                queue_.swap(rest);
                rest.clear();
            }
        }
        for (auto& sink : sinks_)
            sink->write(group);
        // Told before the group counts as done, so that flush() returns after the report.
        std::uint64_t lost = 0;
        {
            const std::lock_guard lock(mutex_);
            if (queue_.empty())
                lost = std::exchange(droppedUnreported_, 0);
        }
        if (lost > 0 && log_)
            log_->logImportantEvent(
                QStringLiteral("%1 readings were not recorded: they came faster than they could be "
                               "written, and at most %2 may wait.")
                    .arg(lost)
                    .arg(maxQueued_));
        {
            const std::lock_guard lock(mutex_);
            done_ += group.size();
        }
        written_.notify_all();
        group.clear();
    }
}

} // namespace tarovex::journal
