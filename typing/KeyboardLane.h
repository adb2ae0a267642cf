#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>

namespace tarovex::typing {

// One keyboard, shared by the typers given the same lane: one of them types at a time, a
// whole value at a time, and those that wait get their turns in the order they came. So a
// new run never types into the middle of the last value of the one before, and two runs of
// one process never mix their keys; typers given different lanes do not wait for each
// other.
class KeyboardLane {
public:
    // Waits for the turn; false when `stop` came first (the turn is given up).
    bool acquire(std::stop_token stop);
    // Ends the turn taken by acquire.
    void release();

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::uint64_t> waiting_; // tickets, in the order they came
    std::uint64_t nextTicket_ = 0;
    bool busy_ = false;
};

} // namespace tarovex::typing
