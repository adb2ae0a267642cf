#pragma once

#include "config/Config.h"
#include "reading/DataLine.h"
#include "worker/BatchChannel.h"
#include "worker/ByteSource.h"
#include "worker/OpenedPort.h"
#include "worker/Reconnector.h"
#include "worker/ValueExtractor.h"
#include "worker/ValueProcessor.h"
#include "worker/WeightWorkerView.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <variant>
#include <vector>

namespace tarovex::worker {

// The acquisition engine of one run. It reads a byte source: a port (opened by the
// constructor, or before it on any thread) or a recording. start() runs the loop on a
// thread of its own, which cuts the received bytes into lines at the input
// terminator, turns each line into a DataLine with its processed value and publishes it.
// Lines and messages reach the view on the owner thread (the one that created the worker,
// which must run a Qt event loop), in order and in batches. When the loop has ended -
// cancelled, interrupted, failed or the device gone - the completion step reports why,
// reports bytes after the last terminator, closes the source and calls
// setConnectedInGUI(false), then emits finished().
//
// With the setting reconnect, a vanished device does not end the loop: it waits for the
// device to come back (see Reconnector) and goes on with the same settings and count.
//
// All public operations are for the owner thread. A worker runs once.
class WeightWorker : public QObject {
    Q_OBJECT

public:
    // Why the loop ended, as the completion step saw it.
    enum class Outcome {
        Running,     // not ended yet
        Cancelled,   // cancel(): "stopped"
        Interrupted, // interrupt(): "interrupted"
        Failed,      // an error ended the task: "execution.exception" + its text
        DeviceGone,  // the device vanished; the loop ended with its line count
    };

    // A received line that never meets a terminator is dropped at this length.
    static constexpr qsizetype kMaxLineLength = 64 * 1024;
    // While bytes are dropped up to a terminator that does not come, this much more of them,
    // or a minute, brings the message back: a wrong terminator setting stays visible.
    static constexpr std::uint64_t kDropReminderBytes = 1024 * 1024;
    static constexpr std::chrono::seconds kDropReminderInterval{60};

    // Reads the port `opened` for `config` (which is copied): reports it to the view
    // (connected, then its messages) without waiting on it. A recording's end ends the run
    // as cancel() would.
    WeightWorker(WeightWorkerView& view, const config::Config& config, OpenedPort opened);
    // Opens the port of `config` here (see openPort, which says what it throws; no view call
    // is made then).
    WeightWorker(WeightWorkerView& view, const config::Config& config);
    // Reads `source` (open, not to be flushed: a recorded stream) instead of the port of
    // `config`.
    WeightWorker(WeightWorkerView& view, const config::Config& config, std::unique_ptr<ByteSource> source);
    // Stops the loop and waits for it. No view call is made from here; the source is closed.
    ~WeightWorker() override;
    WeightWorker(const WeightWorker&) = delete;
    WeightWorker& operator=(const WeightWorker&) = delete;

    // Starts the loop on its own thread. Does nothing after cancel() or a first start().
    void start();
    // Asks the loop to end (also wakes it from any wait); the completion step then logs
    // "stopped". Returns false when the task had already ended. Before start(), the
    // completion step follows at once.
    bool cancel(bool mayInterruptIfRunning = true);
    // Ends the loop as an interruption (the completion step logs "interrupted").
    void interrupt();

    // True once the completion step has run.
    bool isDone() const { return done_; }
    bool isCancelled() const { return cancelled_; }
    Outcome outcome() const { return outcome_; }
    // The number of lines completed, once the loop has ended normally (device gone).
    std::optional<int> result() const { return result_; }
    // The error that ended the loop (Outcome::Failed), once it has ended.
    const std::optional<QString>& failure() const { return failure_; }

    // Queues `bytes` for the instrument; the loop writes them to its source before it
    // next waits, so the source keeps one user. Any thread. Dropped once the loop has ended.
    void send(QByteArray bytes);

    // How often the idle wait returned (data, time-out, wake-up); for measuring idle cost.
    std::uint64_t idleWakeUps() const { return idleWakeUps_.load(std::memory_order_relaxed); }

    // What the run reads (owner thread, before start() or after finished()).
    ByteSource& source() { return *source_; }

signals:
    // After the completion step, on the owner thread.
    void finished();

protected:
    // What the variants change: the capture group, the kind of value, the error texts.
    virtual int valueGroup(const config::ConfigHelper::Instrument& instrument) const;
    virtual ValueProcessor::Kind valueKind() const { return ValueProcessor::Kind::Number; }
    virtual QString parityErrorText() const;
    virtual QString framingErrorText() const;

    WeightWorkerView& view() { return view_; }
    const config::Config& config() const { return config_; }

private:
    struct Message {
        bool important;
        QString text;
    };
    struct Finished {};
    using Report = std::variant<DataLine, Message, Finished>;

    void run(std::stop_token stop);
    int loop(std::stop_token stop);
    void prepare();
    void readAvailable(const std::stop_token& stop);
    void takeByte(int b);
    bool skipped(int b);
    void endOfByte(int b);
    bool reconnect(const std::stop_token& stop);
    void completeLine();
    void dropOverlongLine();
    void beginDropping(std::uint64_t alreadyDropped);
    void noteDroppedByte();
    void pause(const std::stop_token& stop, int ms);
    void sendQueued();
    void log(const QString& text, bool important = false);
    void flushLines();
    void deliver(Report& report);
    void complete();

    WeightWorkerView& view_;
    const config::Config config_;
    std::unique_ptr<ByteSource> source_;
    // A recorded stream: its end is a stop, not a lost device.
    const bool endIsStop_ = false;
    std::optional<Reconnector> reconnector_;
    // Bytes taken from the source in a block and not yet through takeByte (a failing line
    // leaves the rest for the next round).
    std::uint8_t block_[32768];
    int blockNext_ = 0;
    int blockEnd_ = 0;
    std::optional<DataLine::Instant> blockInstant_; // when the current block was read
    BatchChannel<Report> channel_;
    // Completed lines of the current block, handed to the channel together when the block
    // is through (or before anything else is reported, to keep the order).
    std::vector<Report> outbox_;

    // Worker thread only while the loop runs; the completion step reads the line buffer
    // after the thread has ended.
    std::optional<ValueExtractor> extractor_;
    std::optional<ValueProcessor> processor_;
    QString lineBuffer_;
    // The line being received lost its beginning (an error mid-line, or its first part
    // was dropped as too long): the rest of it, up to its terminator, is dropped too, so
    // that a fragment can never be taken for a reading.
    bool skipToTerminator_ = false;
    // Bytes dropped in the current stretch without a terminator, and in the whole run.
    std::uint64_t droppedStretch_ = 0;
    std::uint64_t droppedTotal_ = 0;
    std::chrono::steady_clock::time_point lastDropMessage_;
    int terminator_ = 13;
    std::int32_t count_ = 0;
    bool parityError_ = false;
    bool framingError_ = false;
    bool checkParity_ = true;
    bool checkFraming_ = true;
    int idleWaitMs_ = 1000;
    std::uint64_t bytesTaken_ = 0;
    std::stop_token stop_;

    // The end of the loop, handed to the completion step with the Finished report.
    std::optional<QString> failure_;
    bool deviceGone_ = false;
    bool endOfInput_ = false;

    std::mutex sendMutex_;
    std::vector<QByteArray> toSend_; // under sendMutex_

    std::mutex pauseMutex_;
    std::condition_variable_any pauseWake_;
    std::atomic<std::uint64_t> idleWakeUps_{0};
    std::atomic<bool> interrupted_{false};
    std::mutex stateMutex_;
    bool taskEnded_ = false; // under stateMutex_
    bool started_ = false;
    bool cancelled_ = false;
    bool done_ = false;
    Outcome outcome_ = Outcome::Running;
    std::optional<int> result_;
    std::jthread thread_; // last: stopped and joined before the rest goes
};

} // namespace tarovex::worker
