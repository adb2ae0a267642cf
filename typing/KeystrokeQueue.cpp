#include "typing/KeystrokeQueue.h"

#include <utility>

namespace tarovex::typing {

KeystrokeQueue::PutResult KeystrokeQueue::put(QString text, std::uint64_t id) {
    return put(std::move(text), id, {});
}

KeystrokeQueue::PutResult KeystrokeQueue::put(QString text, std::uint64_t id, std::vector<RowPart> row) {
    PutResult result;
    {
        const std::lock_guard lock(mutex_);
        if (texts_.size() >= capacity_) {
            ++dropped_;
            const auto now = Clock::now();
            if (reported_ > 0 && now - reportedAt_ < reportInterval_)
                return {false, dropped_, false};
            reported_ = dropped_;
            reportedAt_ = now;
            return {false, dropped_, true};
        }
        result = {true, dropped_, dropped_ > reported_};
        dropped_ = reported_ = 0;
        texts_.push_back({std::move(text), id, Clock::now(), std::move(row)});
        ++generation_;
    }
    changed_.notify_one();
    return result;
}

void KeystrokeQueue::dropStale(Clock::time_point now) {
    while (!texts_.empty() && now - texts_.front().queuedAt >= maxAge_) {
        ++stale_.count;
        expired_.push_back(texts_.front().id);
        stale_.newest = std::move(texts_.front().text);
        texts_.pop_front();
    }
}

std::optional<KeystrokeQueue::Stale> KeystrokeQueue::staleReport(Clock::time_point now, bool force) {
    if (stale_.count == 0 || (!force && staleReportedAt_ && now - *staleReportedAt_ < reportInterval_))
        return std::nullopt;
    staleReportedAt_ = now;
    return std::exchange(stale_, Stale{});
}

KeystrokeQueue::Taken KeystrokeQueue::take(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop.stop_requested())
            return {};
        const auto now = Clock::now();
        dropStale(now);
        Taken taken;
        taken.stale = staleReport(now, false);
        taken.expired = std::exchange(expired_, {});
        if (!held_ && !texts_.empty()) {
            taken.text = std::move(texts_.front().text);
            taken.row = std::move(texts_.front().row);
            taken.id = texts_.front().id;
            taken.queuedAt = texts_.front().queuedAt;
            texts_.pop_front();
            return taken;
        }
        if (taken.stale || !taken.expired.empty())
            return taken;
        // Wake for a change, the next text growing too old, or a report falling due.
        auto until = Clock::time_point::max();
        if (!texts_.empty())
            until = texts_.front().queuedAt + maxAge_;
        if (stale_.count > 0 && staleReportedAt_)
            until = std::min(until, *staleReportedAt_ + reportInterval_);
        const std::uint64_t seen = generation_;
        const auto changed = [&] { return generation_ != seen; };
        if (until == Clock::time_point::max())
            changed_.wait(lock, stop, changed);
        else
            changed_.wait_until(lock, stop, until, changed);
    }
}

void KeystrokeQueue::setHeld(bool held) {
    {
        const std::lock_guard lock(mutex_);
        held_ = held;
        ++generation_;
    }
    changed_.notify_all();
}

bool KeystrokeQueue::isHeld() const {
    const std::lock_guard lock(mutex_);
    return held_;
}

KeystrokeQueue::Discarded KeystrokeQueue::discard() {
    Discarded d;
    {
        const std::lock_guard lock(mutex_);
        dropStale(Clock::now());
        d.waiting = texts_.size();
        d.expired = std::exchange(expired_, {});
        for (const Entry& e : texts_)
            d.ids.push_back(e.id);
        d.stale = staleReport(Clock::now(), true);
        texts_.clear();
        dropped_ = reported_ = 0;
        ++generation_;
    }
    changed_.notify_all();
    return d;
}

std::size_t KeystrokeQueue::size() const {
    const std::lock_guard lock(mutex_);
    return texts_.size();
}

} // namespace tarovex::typing
