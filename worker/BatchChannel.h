#pragma once

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
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
    // Create on the owner thread; `deliver` runs there with each item, in push order.
    BatchChannel(std::function<void(T&)> deliver, std::size_t capacity)
        : deliver_(std::move(deliver)), capacity_(capacity) {}
    ~BatchChannel() { *alive_ = false; }
    BatchChannel(const BatchChannel&) = delete;
    BatchChannel& operator=(const BatchChannel&) = delete;

    // Queues one item (any thread), waiting while the channel is full unless `stop` is
    // requested.
    void push(T item, std::stop_token stop = {}) {
        enqueue(stop, [&] { pending_.push_back(std::move(item)); });
    }

    // Queues all of `items` at once and empties it: one lock and at most one post for a
    // whole block of lines. Waits like push() while the channel is full; the batch may
    // then take it past `capacity` by its own size.
    void pushAll(std::vector<T>& items, std::stop_token stop = {}) {
        if (items.empty())
            return;
        enqueue(stop, [&] {
            if (pending_.empty())
                pending_.swap(items); // the caller keeps the empty buffer's room
            else
                pending_.insert(pending_.end(), std::make_move_iterator(items.begin()),
                                std::make_move_iterator(items.end()));
        });
        items.clear();
    }

    // Delivers what is queued now, on the calling (owner) thread.
    //
    // A callback may run a nested event loop, which calls this again before the outer
    // batch is through. The nested call goes on with the outer batch's remaining items
    // before its own, so nothing overtakes; the outer call then finds them delivered. A
    // callback may also destroy the channel (the owner going away): then nothing here
    // touches it again.
    void deliverNow() {
        const std::shared_ptr<bool> alive = alive_;
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (inFlight_.empty()) {
                inFlight_.swap(pending_); // keeps both buffers' room for the next rounds
            } else {
                inFlight_.insert(inFlight_.end(), std::make_move_iterator(pending_.begin()),
                                 std::make_move_iterator(pending_.end()));
                pending_.clear();
            }
            scheduled_ = false;
            wake = waiting_;
        }
        // Only a producer that waits for room needs waking; most rounds have none.
        if (wake)
            room_.notify_all();
        while (next_ < inFlight_.size()) {
            T item = std::move(inFlight_[next_++]);
            deliver_(item);
            if (!*alive)
                return;
        }
        inFlight_.clear();
        next_ = 0;
    }

private:
    // Waits for room unless `stop` is requested, adds under the lock, and posts the
    // delivery when none is scheduled yet.
    template <typename Add> void enqueue(std::stop_token& stop, Add add) {
        bool post = false;
        {
            std::unique_lock lock(mutex_);
            if (pending_.size() >= capacity_) {
                waiting_ = true;
                room_.wait(lock, stop, [this] { return pending_.size() < capacity_; });
                waiting_ = false;
            }
            add();
            post = !scheduled_;
            scheduled_ = true;
        }
        if (post)
            QMetaObject::invokeMethod(
                &context_, [this] { deliverNow(); }, Qt::QueuedConnection);
    }

    std::function<void(T&)> deliver_;
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable_any room_;
    std::vector<T> pending_;
    bool scheduled_ = false;
    bool waiting_ = false; // a producer waits for room
    // Owner thread only: the items taken for delivery and the next one to hand over.
    std::vector<T> inFlight_;
    std::size_t next_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Posted calls die with it, so none can reach a destroyed channel. Declared last: it
    // goes first.
    QObject context_;
};

} // namespace tarovex::worker
