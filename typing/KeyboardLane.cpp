#include "typing/KeyboardLane.h"

#include <algorithm>

namespace tarovex::typing {

bool KeyboardLane::acquire(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    waiting_.push_back(ticket);
    if (!changed_.wait(lock, stop, [&] { return !busy_ && waiting_.front() == ticket; })) {
        // The ones behind must not wait for a ticket nobody holds any more.
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
        lock.unlock();
        changed_.notify_all();
        return false;
    }
    waiting_.pop_front();
    busy_ = true;
    return true;
}

void KeyboardLane::release() {
    {
        const std::lock_guard lock(mutex_);
        busy_ = false;
    }
    changed_.notify_all();
}

} // namespace tarovex::typing
