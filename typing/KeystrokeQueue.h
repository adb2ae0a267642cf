#pragma once

#include "reading/OutputTemplate.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarovex::typing {

// One value of a row typed whole in one turn: its start key, its text, its terminator (key
// codes, 0: none), as the run of the instrument that read it would type it.
// With steps (an output template's), the part is those, typed in order, and `text` is only
// what the log shows of it.
struct RowPart {
    QString text;
    int startKey = 0;
    int endKey = 0;
    std::vector<reading::OutputStep> steps{};
};

// The texts waiting to be typed in one run. Bounded twice: by count, since an instrument
// in continuous mode sends faster than keys can be typed; and by the time a text waits,
// since a reading typed long after it was taken lands beside the wrong sample. A text
// older than `maxAge` when its turn comes is dropped, not typed.
class KeystrokeQueue {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kDefaultCapacity = 10000;
    // Long enough to click into the receiving application after Start; short enough that
    // a typed reading is still the one on the balance.
    static constexpr std::chrono::milliseconds kDefaultMaxAge{10000};

    // A flood drops thousands of values a second; reporting each would drown the log (and
    // the lines the user needs) in the same message, so drops are reported at most once per
    // `reportInterval`, plus once more with the final count.
    explicit KeystrokeQueue(std::size_t capacity = kDefaultCapacity,
                            std::chrono::milliseconds reportInterval = std::chrono::seconds(1),
                            std::chrono::milliseconds maxAge = kDefaultMaxAge)
        : capacity_(capacity), reportInterval_(reportInterval), maxAge_(maxAge) {}

    struct PutResult {
        bool accepted = true;
        std::size_t droppedInARow = 0; // values refused since the queue last accepted one
        bool report = false;           // droppedInARow is news for the log
    };
    // Appends without ever blocking; a full queue refuses the text. An accepted text that
    // ends a run of drops not yet fully reported comes back with that run's count. `id`
    // names the value when its fate is told.
    PutResult put(QString text, std::uint64_t id = 0);
    // A row, as one entry: `text` stands for it in reports, `row` is what is typed.
    PutResult put(QString text, std::uint64_t id, std::vector<RowPart> row);

    // Texts dropped for their age and not reported yet; `newest` is the last of them.
    struct Stale {
        std::size_t count = 0;
        QString newest;
    };
    struct Taken {
        std::optional<QString> text;
        std::vector<RowPart> row; // empty: a value, typed with the run's own keys
        std::uint64_t id = 0;
        Clock::time_point queuedAt{};
        std::optional<Stale> stale;        // due for the log now
        std::vector<std::uint64_t> expired; // the ids of the texts dropped for their age
    };
    // The next text young enough to be typed, waiting while there is none or while held.
    // Returns early without a text when texts expired or a report of them is due, and with
    // nothing once a stop is requested (the request wakes the wait).
    Taken take(std::stop_token stop);

    // While held, texts wait (and age); a take in progress is not affected.
    void setHeld(bool held);
    bool isHeld() const;
    // Drops every waiting text; their number and ids, and the stale drops not reported yet.
    struct Discarded {
        std::size_t waiting = 0;
        std::vector<std::uint64_t> ids;     // of the waiting texts
        std::vector<std::uint64_t> expired; // dropped for their age, not yet told
        std::optional<Stale> stale;
    };
    Discarded discard();

    std::size_t capacity() const noexcept { return capacity_; }
    std::chrono::milliseconds maxAge() const noexcept { return maxAge_; }
    std::size_t size() const;

private:
    struct Entry {
        QString text;
        std::uint64_t id;
        Clock::time_point queuedAt;
        std::vector<RowPart> row;
    };
    void dropStale(Clock::time_point now);
    std::optional<Stale> staleReport(Clock::time_point now, bool force);

    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::uint64_t generation_ = 0; // counts changes that a waiting take must look at
    std::deque<Entry> texts_;
    bool held_ = false;
    const std::chrono::milliseconds reportInterval_;
    const std::chrono::milliseconds maxAge_;
    std::size_t dropped_ = 0;
    std::size_t reported_ = 0; // of dropped_
    Clock::time_point reportedAt_;
    Stale stale_;
    std::vector<std::uint64_t> expired_;
    std::optional<Clock::time_point> staleReportedAt_;
};

} // namespace tarovex::typing
