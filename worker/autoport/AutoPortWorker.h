#pragma once

#include "worker/BatchChannel.h"
#include "worker/autoport/AutoPortWorkerView.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <variant>

namespace Tarolink {
class SerialPort;
}

namespace tarovex::worker {

// Finds the port of an attached instrument without reading data: opens each candidate in
// turn with fixed parameters, drives DTR and RTS and watches whether DSR and CTS follow.
// The port whose lines answer best wins; among equal scores the earliest. A USB scale
// ("hid:"), which opens only as a scale, scores as high as a port whose lines both answer. At most one port
// is open at a time, and each is closed before the next is tried.
//
// Messages reach the view on the owner thread (which must run a Qt event loop), in order;
// the completion step reports the outcome and the best port, then emits finished().
class AutoPortWorker : public QObject {
    Q_OBJECT

public:
    // Each wait after the modem outputs change: long enough for a cable's answer.
    static constexpr int kSettleMs = 150;

    AutoPortWorker(AutoPortWorkerView& view, QStringList portNames);
    // Stops the probe and waits for it; the open port is closed. No view call is made.
    ~AutoPortWorker() override;
    AutoPortWorker(const AutoPortWorker&) = delete;
    AutoPortWorker& operator=(const AutoPortWorker&) = delete;

    // Starts probing on a thread of its own. The view's button becomes "Cancel".
    void start();
    // Ends the probe at once (the wait in progress too); the completion step then appends
    // "stopped". Returns false when the task had already ended.
    bool cancel();

    bool isDone() const { return done_; }
    // The best port, once done; empty when none answered.
    std::optional<QString> result() const { return result_; }

signals:
    void finished();

private:
    struct Finished {};
    using Report = std::variant<QString, Finished>;

    void run(std::stop_token stop);
    void probe(Tarolink::SerialPort& port, const QString& name, const std::stop_token& stop, int& score);
    void settle(const std::stop_token& stop);
    void publish(const QString& text);
    void deliver(Report& report);
    void complete();
    void closePort();

    AutoPortWorkerView& view_;
    const QStringList portNames_;
    BatchChannel<Report> channel_;

    std::mutex portMutex_;
    std::unique_ptr<Tarolink::SerialPort> port_; // under portMutex_
    std::optional<QString> bestPortName_;
    int bestPortConfidence_ = 0;
    std::optional<QString> failure_;

    std::mutex waitMutex_;
    std::condition_variable_any wake_;
    std::atomic<bool> cancelled_{false};
    bool started_ = false;
    bool done_ = false;
    std::optional<QString> result_;
    std::jthread thread_; // last: stopped and joined before the rest goes
};

} // namespace tarovex::worker
