#pragma once

#include <QByteArray>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

namespace tarovex::console {

// Writes to a file descriptor from a thread of its own, so that a reader that stops reading
// never blocks the caller (and with it the handling of stop signals). Items wait in a queue
// of bounded size; an item that does not fit is dropped and counted. The first failing
// write ends the writing: its errno is kept and one byte goes to `wakeFd`, so that the
// caller's event loop hears of it.
class StreamWriter {
public:
    StreamWriter(int fd, qsizetype capacityBytes, int wakeFd = -1);
    // Gives the queue no more time: see finish().
    ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    // Queues one item whole; false when it was dropped (the queue is full, or the writing
    // has ended).
    bool write(QByteArray item);
    // From now on write() waits for room instead of dropping (a replay loses nothing),
    // until `*giveUp` is set (a stop signal): then it drops again.
    void waitForRoom(const volatile std::sig_atomic_t* giveUp);
    // Waits up to `timeout` until everything queued is written (or the writing ended);
    // true when it is. Unlike finish(), the writer goes on taking items.
    bool drain(std::chrono::milliseconds timeout);
    // Takes no more items and waits up to `timeout` for the queued ones to be written.
    // Returns how many items were not written: dropped, lost to a failed write, or still
    // waiting. A writer stuck in a write that never returns is left behind, not waited for.
    qsizetype finish(std::chrono::milliseconds timeout);
    // The errno of the write that failed, or 0.
    int error() const;

    struct State; // shared with the writing thread, which may outlive the writer

private:
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace tarovex::console
