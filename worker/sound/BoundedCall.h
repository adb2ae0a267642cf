#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tarovex::worker {

// Runs a call that may block for ever (a sound server that accepts a connection and never
// answers) on a thread of its own and waits for it at most `limit`. True when it ended in
// time; otherwise the call goes on alone, so it must own everything it touches (capture
// shared pointers) and clean up after itself.
inline bool callWithin(std::chrono::milliseconds limit, std::function<void()> call) {
    struct State {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    std::thread([state, call = std::move(call)] {
        call();
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->ended.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->ended.wait_for(lock, limit, [&] { return state->done; });
}

} // namespace tarovex::worker
