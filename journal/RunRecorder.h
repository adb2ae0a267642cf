#pragma once

#include "config/Config.h"
#include "journal/RecordThread.h"
#include "journal/SharedPublisher.h"
#include "journal/Sinks.h"
#include "reading/DataLine.h"
#include "reading/EventLog.h"
#include "reading/PostedLog.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <optional>

namespace tarovex::journal {

// The record of one run: the journal, the live CSV file and the MQTT publishing from the
// journal as the settings ask. The journal first gets the run itself (who, where, which
// instrument, whether the clock is synchronised; the log warns when it is not), then each
// reading of the run on the run's thread and written on a thread of their own. Messages
// (a journal that cannot be opened or written, a CSV file that cannot be written) reach
// `log` (may be null) as important messages on the thread that made the recorder; the run
// goes on without what failed.
class RunRecorder {
public:
    // Nothing is opened when the settings keep no record (journal off, no live CSV file). `broker`
    // hears the publisher's connection on the recorder's thread (see MqttPublisher).
    RunRecorder(const config::Config& config, reading::EventLog* log,
                const QString& journalPath = JournalDb::defaultPath(),
                std::function<void(BrokerState)> broker = {});
    // Writes what is queued.
    ~RunRecorder();

    // True when anything is being recorded.
    bool isRecording() const { return thread_.has_value(); }
    bool isPublishing() const { return publisher_ != nullptr; }
    // `reason`: why a dropped value was not typed.
    void record(const reading::DataLine& line, Outcome outcome, QLatin1StringView reason = {});
    // Waits until every reading recorded so far is written (tests, the end of a console run).
    // This run's share of the publisher goes (the last share takes the publisher, saying
    // offline): the next run's publisher sends what this record still writes to the journal.
    void endPublishing();
    void flush();
    // flush(), then hands the record's messages still waiting (such as the count of readings
    // dropped in a flood) to `log` at once.
    void flushWithReports();
    // The end of a console run: writes what is queued, then waits at most `bound` for the
    // broker's acknowledgements. Returns how many readings are still queued for the broker;
    // none without publishing.
    std::optional<std::int64_t> finish(std::chrono::milliseconds bound);
    // The run has stopped: the broker hears the station is offline; the queue goes on.
    void runStopped();

private:
    QObject context_; // receives the broker's state on the recorder's thread
    // The record thread's messages, handed on to the recorder's thread.
    reading::PostedLog posted_;
    QString port_;
    QString instrument_;
    QString label_;
    std::unique_ptr<SharedPublisher> publisher_;
    // How the record thread wakes the publisher after a group, also once it is gone.
    struct Waker {
        std::mutex mutex;
        SharedPublisher* publisher = nullptr;
        void wake();
    };
    std::shared_ptr<Waker> waker_ = std::make_shared<Waker>();
    // Ends before the publisher: its last group still wakes it.
    std::optional<RecordThread> thread_;
};

} // namespace tarovex::journal
