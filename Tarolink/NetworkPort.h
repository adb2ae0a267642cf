#pragma once

#include "Tarolink/ComPortClient.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace Tarolink {

using NetworkClock = std::chrono::steady_clock;

// The errno behind the calling thread's last failed call of the network driver.
extern thread_local int tNetworkLastError;

// Milliseconds until `deadline`, 0 once it passed.
int msLeft(NetworkClock::time_point deadline);

// Kinds of request an address left unanswered (see NetworkPort::exchange).
struct UnansweredRequests {
    std::mutex mutex;
    std::set<int> kinds;
    bool contains(int kind) {
        std::lock_guard lock(mutex);
        return kinds.count(kind) > 0;
    }
    // True when `kind` is new.
    bool add(int kind) {
        std::lock_guard lock(mutex);
        return kinds.insert(kind).second;
    }
};

// Everything the driver keeps for one connection.
struct NetworkPort {
    int fd = -1;
    int wakeFd = -1;
    std::string name;
    bool rfc2217 = false;

    std::mutex mutex; // guards everything below but the sending side
    std::vector<std::uint8_t> rx;
    std::size_t head = 0;
    ComPortClient client;
    std::vector<std::uint8_t> reply;
    // Kinds of request (requestKind) this address left unanswered once; shared by every
    // connection to it, so a reconnect does not wait for them again.
    std::shared_ptr<UnansweredRequests> unanswered;
    int lineErrors = 0;
    int timeoutRx = 0;
    int timeoutTx = 0;
    bool toldNoSettings = false;
    bool overflowed = false; // received data was dropped since the last SerRxOverflow
    std::size_t droppedWhileAwaiting = 0; // bytes dropped during the request now awaited
    std::atomic<bool> gone{false};

    std::mutex sendMutex; // one writer on the socket at a time

    // Received data kept unread at most. Beyond it the socket is left unread, so the server
    // waits; only while an answer is awaited is the oldest data dropped instead (a server may
    // flood before it agrees to COM-PORT, and the open's flush drops that data anyway).
    static constexpr std::size_t kMaxBuffered = std::size_t{1} << 20;

    std::size_t buffered() const { return rx.size() - head; }

    ~NetworkPort();

    // Sends all of `bytes`, waiting for room at most `timeoutMs`; false when the connection
    // failed (then gone) or the time passed.
    bool send(const std::vector<std::uint8_t>& bytes, int timeoutMs);

    // Takes what the socket holds without waiting (mutex held): data into rx, Telnet
    // answers out at once. The number of bytes received, 0 for none (or rx full and no
    // answer awaited), -1 when the connection ended.
    int fill(bool awaitingAnswer = false);

    // Drops all received data, including what the socket held at the call, and gives the
    // buffer's memory back (mutex held).
    void dropReceived();

    // Waits up to `timeoutMs` for input (mutex not held); false on time-out.
    bool pollInput(int timeoutMs);

    // Waits until `done()` holds (checked with the mutex held) or `deadline` passes.
    template <typename Done> bool awaitServer(Done&& done, NetworkClock::time_point deadline) {
        const bool answered = awaitServerQuietly(done, deadline);
        reportDropped();
        return answered;
    }

    // Says in one line how much a flood during the request cost, if anything (mutex not held).
    void reportDropped();

    template <typename Done> bool awaitServerQuietly(Done&& done, NetworkClock::time_point deadline) {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (done())
                    return true;
                if (gone)
                    return false;
            }
            const int left = msLeft(deadline);
            if (left == 0 || !pollInput(left)) {
                if (msLeft(deadline) == 0)
                    return false;
                continue;
            }
            std::lock_guard lock(mutex);
            fill(true);
        }
    }

    // Sends COM-PORT requests and waits (bounded) for the server to answer each; a request
    // it leaves unanswered is said once in the log and not waited for again.
    bool exchange(const std::vector<ComPortClient::Request>& requests, int answerMs);
};

} // namespace Tarolink
