#pragma once

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <stop_token>
#include <utility>
#include <vector>

namespace tarovex::worker {

// Hands items from one background thread to the thread that owns the channel, in order
// and in batches: the first item after a delivery posts one call into the owner's event
// loop, and that call takes everything queued up to then. So a burst of items costs one
// event-loop turn, and a lone item arrives within one turn.
//
// Bounded: a producer that finds `capacity` items undelivered waits for the owner, so a slow
// owner slows the producer down instead of filling memory. A stop request ends that wait:
// the few items a stopping producer still sends go over the limit rather than being lost.
template <typename T> class BatchChannel {
public:
    // Create on the owner thread; `deliver` runs there with each batch.
    BatchChannel(std::function<void(std::vector<T>&)> deliver, std::size_t capacity)
        : deliver_(std::move(deliver)), capacity_(capacity) {}
    BatchChannel(const BatchChannel&) = delete;
    BatchChannel& operator=(const BatchChannel&) = delete;

    // Queues one item (any thread), waiting while the channel is full unless `stop` is
    // requested.
    void push(T item, std::stop_token stop = {}) {
        bool post = false;
        {
            std::unique_lock lock(mutex_);
            if (pending_.size() >= capacity_)
                room_.wait(lock, stop, [this] { return pending_.size() < capacity_; });
            pending_.push_back(std::move(item));
            post = !scheduled_;
            scheduled_ = true;
        }
        if (post)
            QMetaObject::invokeMethod(
                &context_, [this] { deliverNow(); }, Qt::QueuedConnection);
    }

    // Delivers what is queued now, on the calling (owner) thread.
    // A local batch, since a view callback may run a nested event loop that delivers again.
    void deliverNow() {
        std::vector<T> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(pending_);
            pending_.reserve(batch.size());
            scheduled_ = false;
        }
        room_.notify_all();
        if (!batch.empty())
            deliver_(batch);
    }

private:
    std::function<void(std::vector<T>&)> deliver_;
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable_any room_;
    std::vector<T> pending_;
    bool scheduled_ = false;
    // Posted calls die with it, so none can reach a destroyed channel. Declared last: it
    // goes first.
    QObject context_;
};

} // namespace tarovex::worker
