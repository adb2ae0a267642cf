#include "StreamWriter.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace tarovex::console {

struct StreamWriter::State {
    // Spelt out: clang 14 cannot make_shared an aggregate from a parenthesised list.
    State(int fd, qsizetype capacity, int wakeFd) : fd(fd), capacity(capacity), wakeFd(wakeFd) {}
    int fd;
    qsizetype capacity;
    int wakeFd;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<QByteArray> queue;
    qsizetype queuedBytes = 0; // queued and being written, each item at its cost()
    qsizetype accepted = 0;
    qsizetype written = 0;
    qsizetype dropped = 0;
    bool closing = false;
    bool ended = false;
    int error = 0;
    const volatile std::sig_atomic_t* giveUp = nullptr; // set: write() waits for room
};

namespace {

constexpr std::chrono::microseconds kLinger{500};

// What an item takes of the queue's capacity: its bytes and what holding it costs (its own
// allocation and its slot), so that a queue of short values is bounded in memory too and not
// only in bytes to write (4 MB of 10-byte values held 29 MB).
constexpr qsizetype kItemCost = 64;
qsizetype cost(const QByteArray& item) {
    return item.size() + kItemCost;
}

// Writes as much of `bytes` as the stream takes; the bytes written, and errno when it
// refused the rest.
std::pair<qsizetype, int> writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n >= 0) {
            done += n;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A stream that came to us non-blocking: wait for room as a blocking one would.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, -1);
        } else if (errno != EINTR) {
            return {done, errno};
        }
    }
    return {done, 0};
}

void run(StreamWriter::State& s) {
    std::vector<QByteArray> batch;
    // The last write left items waiting: the producer is faster than the stream.
    bool backlog = false;
    for (;;) {
        {
            std::unique_lock lock(s.mutex);
            s.changed.wait(lock, [&] { return !s.queue.empty() || s.closing; });
            if (s.queue.empty())
                break;
            // Only behind a fast producer, a moment for more to come: it then meets a writer
            // that takes its items in thousands rather than one by one, and their lock is
            // rarely contended. An item of a quiet stream is written at once.
            if (backlog)
                s.changed.wait_for(lock, kLinger,
                                   [&] { return s.closing || s.queuedBytes >= s.capacity / 2; });
            batch.swap(s.queue);
        }
        // One write for everything that came meanwhile.
        QByteArray joined;
        for (const QByteArray& item : batch)
            joined += item;
        const auto [done, error] = writeAll(s.fd, joined);
        qsizetype whole = 0;
        for (qsizetype end = 0; const QByteArray& item : batch) {
            end += item.size();
            if (end > done)
                break;
            ++whole;
        }
        const qsizetype taken = joined.size() + qsizetype(batch.size()) * kItemCost;
        batch.clear();
        std::lock_guard lock(s.mutex);
        s.queuedBytes -= taken;
        s.written += whole;
        backlog = !s.queue.empty();
        if (error) {
            s.error = error;
            s.queue.clear();
            s.queuedBytes = 0;
            break;
        }
        s.changed.notify_all();
    }
    {
        std::lock_guard lock(s.mutex);
        s.ended = true;
        s.changed.notify_all();
    }
    if (s.error && s.wakeFd >= 0) {
        const char c = 'w';
        [[maybe_unused]] auto n = ::write(s.wakeFd, &c, 1);
    }
}

} // namespace

StreamWriter::StreamWriter(int fd, qsizetype capacityBytes, int wakeFd)
    : state_(std::make_shared<State>(fd, capacityBytes, wakeFd)) {
    thread_ = std::thread([state = state_] { run(*state); });
}

StreamWriter::~StreamWriter() {
    finish(std::chrono::milliseconds(0));
}

bool StreamWriter::write(QByteArray item) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    // Waits in slices, so that a stop signal is seen; an item larger than the whole queue
    // goes in once the queue is empty.
    while (s.giveUp && !*s.giveUp && !s.ended && !s.closing && s.queuedBytes > 0 &&
           s.queuedBytes + cost(item) > s.capacity)
        s.changed.wait_for(lock, std::chrono::milliseconds(100));
    const bool oversize = s.giveUp && !*s.giveUp && s.queuedBytes == 0;
    if (s.ended || s.closing || (s.queuedBytes + cost(item) > s.capacity && !oversize)) {
        ++s.dropped;
        return false;
    }
    s.queuedBytes += cost(item);
    s.queue.push_back(std::move(item));
    ++s.accepted;
    // The writer waits only for an empty queue; a wake-up per item would cost more than
    // the item.
    if (s.queue.size() == 1)
        s.changed.notify_all();
    return true;
}

void StreamWriter::waitForRoom(const volatile std::sig_atomic_t* giveUp) {
    std::lock_guard lock(state_->mutex);
    state_->giveUp = giveUp;
}

bool StreamWriter::drain(std::chrono::milliseconds timeout) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    return s.changed.wait_for(lock, timeout, [&] { return s.queuedBytes == 0 || s.ended; });
}

qsizetype StreamWriter::finish(std::chrono::milliseconds timeout) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    s.closing = true;
    s.changed.notify_all();
    const bool ended = s.changed.wait_for(lock, timeout, [&] { return s.ended; });
    const qsizetype notWritten = s.dropped + s.accepted - s.written;
    lock.unlock();
    if (thread_.joinable()) {
        if (ended)
            thread_.join();
        else
            thread_.detach(); // it owns a share of the state, and the process ends soon
    }
    return notWritten;
}

int StreamWriter::error() const {
    std::lock_guard lock(state_->mutex);
    return state_->error;
}

} // namespace tarovex::console
