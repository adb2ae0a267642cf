#include "worker/keys/KeystrokeQueue.h"

namespace tarovex::worker {

KeystrokeQueue& KeystrokeQueue::processQueue() {
    static KeystrokeQueue queue;
    return queue;
}

KeystrokeQueue::PutResult KeystrokeQueue::put(QString text) {
    PutResult result;
    {
        const std::lock_guard lock(mutex_);
        if (texts_.size() >= capacity_) {
            ++dropped_;
            const auto now = std::chrono::steady_clock::now();
            if (reported_ > 0 && now - reportedAt_ < reportInterval_)
                return {false, dropped_, false};
            reported_ = dropped_;
            reportedAt_ = now;
            return {false, dropped_, true};
        }
        result = {true, dropped_, dropped_ > reported_};
        dropped_ = reported_ = 0;
        texts_.push_back(std::move(text));
    }
    ready_.notify_one();
    return result;
}

std::optional<QString> KeystrokeQueue::take(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait(lock, stop, [this] { return !texts_.empty(); }))
        return std::nullopt;
    QString text = std::move(texts_.front());
    texts_.pop_front();
    return text;
}

std::size_t KeystrokeQueue::size() const {
    const std::lock_guard lock(mutex_);
    return texts_.size();
}

void KeystrokeQueue::clear() {
    const std::lock_guard lock(mutex_);
    texts_.clear();
    dropped_ = reported_ = 0;
}

} // namespace tarovex::worker
