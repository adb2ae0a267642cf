#pragma once

#include "config/Config.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace tarovex {

// Asks the instrument of a run for readings: on request (a button, a shortcut, a signal) and
// on a timer (setting requestInterval). At most one request is outstanding: one asked for
// while the previous has no line yet is not sent, and one left unanswered for kAnswerLimit
// is given up with one log line for the whole silence, however many ticks it lasts.
// Nothing is sent but what the user asked for. UI thread.
class Requester : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAnswerLimit{2000};

    enum class Command { Data, Tare, Zero };

    // `send` hands bytes to the running worker; `log` writes a line to the run's log.
    Requester(std::function<void(const QByteArray&)> send, std::function<void(const QString&, bool important)> log,
              QObject* parent = nullptr);

    // The port is open: takes the command (the user's, else the preset's) and the timer.
    void begin(const config::Config& config);
    // A line arrived: the outstanding request, if any, is answered.
    void lineReceived();
    void end();

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

    std::function<void(const QByteArray&)> send_;
    std::function<void(const QString&, bool)> log_;
    QByteArray data_, tare_, zero_;
    QTimer ticks_;
    QTimer answer_;
    bool running_ = false;
    bool outstanding_ = false;
    bool silenceLogged_ = false;
};

} // namespace tarovex
