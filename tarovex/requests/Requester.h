#pragma once

#include "config/Config.h"
#include "tarovex/run/ReadingConsumer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>

namespace tarovex {

class RunController;

// Asks the instrument of a run for readings: on request (a button, a shortcut, a signal) and
// on a timer (setting requestInterval). At most one request is outstanding: one asked for
// while the previous has no line yet is not sent, and one left unanswered for kAnswerLimit
// is given up with one log line for the whole silence, however many ticks it lasts.
// Nothing is sent but what the user asked for. UI thread.
class Requester : public QObject, public ReadingConsumer {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAnswerLimit{2000};

    enum class Command { Data, Tare, Zero };

    // Follows every run of `run` (which must outlive this), sends through its worker and
    // logs in its log.
    explicit Requester(RunController& run, QObject* parent = nullptr);

    // The port is open: takes the command (the user's, else the preset's) and the timer.
    void runStarted(const config::Config& config) override;
    // A line arrived: the outstanding request, if any, is answered.
    void reading(const reading::DataLine& line, ReadingOutcome outcome) override;
    void runStopped(const QString& reason) override;

    // Sends the request; false when it was not sent (not running, no command, or one
    // outstanding).
    bool request();
    // Tare and zero are sent at once, since they answer with no reading.
    bool send(Command command);
    // Whether the run's instrument knows the command.
    bool knows(Command command) const;
    bool isRunning() const { return running_; }
    bool isOutstanding() const { return outstanding_; }

private:
    void giveUp();

    RunController& run_;
    QByteArray data_, tare_, zero_;
    QTimer ticks_;
    QTimer answer_;
    bool running_ = false;
    bool outstanding_ = false;
    bool silenceLogged_ = false;
};

} // namespace tarovex
