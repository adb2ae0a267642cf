#pragma once

#include "config/StabilityMarks.h"
#include "tarovex/log/LogLine.h"
#include "tarovex/run/ReadingConsumer.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace tarovex {

// The last reading of a run, as the Start tab shows it while running and the tray's tooltip
// names it: the value, how old it is, whether the instrument called it stable, and the last
// line that gave no value. A flood of lines costs a copy per line here; `changed` comes at
// most every kUpdateInterval, so the display is redrawn at most that often. UI thread, no
// display of its own.
class LastReading : public QObject, public ReadingConsumer {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kUpdateInterval{50};
    using Clock = std::chrono::system_clock;

    // What to show; every text empty when there is nothing to say.
    struct Shown {
        QString value;
        LogStyle valueStyle = LogStyle::Typed; // Unstable when it was not typed for that
        QString state;                         // "stable", "unstable, not typed", ...
        QString noValueLine;                   // as the log shows it, without the newline
        LogStyle noValueStyle = LogStyle::Ignored;
        friend bool operator==(const Shown&, const Shown&) = default;
    };

    explicit LastReading(QObject* parent = nullptr);

    // A new run starts with nothing shown.
    void runStarted(const config::Config& config) override;
    void reading(const reading::DataLine& line, ReadingOutcome outcome) override;
    // A value shown that was then dropped says so, in the unstable style.
    void settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) override;

    Shown shown() const;
    // How old the value is at `now` ("3 s ago"); empty before the first value.
    QString age(Clock::time_point now = Clock::now()) const;
    // The line under the value: its age and state ("3 s ago · stable"), or that there is none
    // yet.
    QString details(Clock::time_point now = Clock::now()) const;
    // The value and its time of day, for the tray; empty before the first value.
    QString summary() const;
    bool hasValue() const { return value_.has_value(); }

    static QString ageText(std::chrono::milliseconds age);

signals:
    // The shown texts may differ now.
    void changed();

private:
    void scheduleChanged();
    QString state() const;

    std::optional<reading::DataLine> value_;
    bool valueUnstable_ = false; // the run left it untyped as unstable
    QString valueDropped_;       // why the keyboard dropped it
    std::optional<reading::DataLine> noValue_;
    // The run's marks, when its preset (or the user's expression) gives any.
    std::optional<config::StabilityReader> stability_;
    QTimer coalesce_;
};

} // namespace tarovex
