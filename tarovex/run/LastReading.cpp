#include "tarovex/run/LastReading.h"

#include "tarovex/texts/ShellBundle.h"

namespace tarovex {

LastReading::LastReading(QObject* parent) : QObject(parent) {
    coalesce_.setSingleShot(true);
    coalesce_.setInterval(kUpdateInterval);
    connect(&coalesce_, &QTimer::timeout, this, &LastReading::changed);
}

void LastReading::runStarted(const config::Config& config) {
    value_.reset();
    noValue_.reset();
    valueUnstable_ = false;
    valueDropped_.clear();
    stability_.reset();
    try {
        stability_.emplace(config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault()),
                           config.getStableRegEx());
        if (!stability_->marks())
            stability_.reset();
    } catch (const std::exception&) {
        stability_.reset(); // the run logs the refused expression
    }
    coalesce_.stop();
    emit changed();
}

void LastReading::reading(const reading::DataLine& line, ReadingOutcome outcome) {
    switch (outcome) {
    case ReadingOutcome::Repeat: // the value shown is the one it repeats
        return;
    case ReadingOutcome::NoValue:
        noValue_ = line;
        break;
    case ReadingOutcome::Value:
    case ReadingOutcome::Unstable:
        value_ = line;
        valueUnstable_ = outcome == ReadingOutcome::Unstable;
        valueDropped_.clear();
        break;
    }
    scheduleChanged();
}

void LastReading::settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) {
    if (delivery != Delivery::Dropped || !value_ || value_->getCount() != line.getCount() ||
        value_->getInstant() != line.getInstant())
        return;
    valueDropped_ = reason;
    scheduleChanged();
}

void LastReading::scheduleChanged() {
    if (!coalesce_.isActive())
        coalesce_.start();
}

QString LastReading::state() const {
    if (!value_)
        return {};
    if (valueUnstable_)
        return text(QStringLiteral("reading.unstable.notTyped"));
    if (!valueDropped_.isEmpty())
        return shellBundle().format(QStringLiteral("reading.dropped"), {valueDropped_});
    // Marks are read here, at most once per update, not for every line of a flood.
    const config::Stability mark =
        stability_ ? (*stability_)(value_->getRawData()) : config::Stability::Unmarked;
    if (mark == config::Stability::Unmarked)
        return {};
    return text(mark == config::Stability::Stable ? QStringLiteral("reading.stable")
                                                  : QStringLiteral("reading.unstable"));
}

LastReading::Shown LastReading::shown() const {
    Shown s;
    if (value_) {
        s.value = value_->getProcessedData();
        s.valueStyle = valueUnstable_ || !valueDropped_.isEmpty() ? LogStyle::Unstable : LogStyle::Typed;
        s.state = state();
    }
    if (noValue_) {
        const LogLine logged = dataLineLog(*noValue_);
        for (const LogSpan& span : logged)
            s.noValueLine += span.text;
        s.noValueLine.chop(1); // the newline
        if (!logged.isEmpty())
            s.noValueStyle = logged.first().style;
    }
    return s;
}

QString LastReading::age(Clock::time_point now) const {
    if (!value_)
        return {};
    return ageText(std::chrono::duration_cast<std::chrono::milliseconds>(now - value_->getInstant()));
}

QString LastReading::details(Clock::time_point now) const {
    if (!value_)
        return text(QStringLiteral("reading.none"));
    const QString a = age(now);
    const QString s = state();
    return a.isEmpty() || s.isEmpty() ? a + s : a + QStringLiteral(" · ") + s;
}

QString LastReading::summary() const {
    if (!value_)
        return {};
    return shellBundle().format(QStringLiteral("reading.tray"),
                                {value_->getProcessedData(), value_->getTimeOfDay()});
}

QString LastReading::ageText(std::chrono::milliseconds age) {
    using namespace std::chrono;
    // A clock set back shows "just now", not a negative age.
    const auto s = duration_cast<seconds>(age).count();
    if (s < 1)
        return text(QStringLiteral("reading.age.now"));
    const auto [key, n] = s < 60     ? std::pair{"reading.age.seconds", s}
                          : s < 3600 ? std::pair{"reading.age.minutes", s / 60}
                                     : std::pair{"reading.age.hours", s / 3600};
    return shellBundle().format(QString::fromLatin1(key), {QString::number(n)});
}

} // namespace tarovex
