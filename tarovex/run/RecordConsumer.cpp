#include "tarovex/run/RecordConsumer.h"

namespace tarovex {

using journal::Outcome;

RecordConsumer::RecordConsumer(reading::EventLog& log, QString journalPath)
    : log_(log), journalPath_(std::move(journalPath)) {}

void RecordConsumer::runStarted(const config::Config& config) {
    // The run before the last is complete by now: its record is written out, with its last
    // messages.
    if (previous_)
        previous_->flushWithReports();
    previous_ = std::move(recorder_);
    // One publisher per station: the new run's sends what the last one still records.
    if (previous_)
        previous_->endPublishing();
    startedAt_ = std::chrono::system_clock::now();
    recorder_ = std::make_unique<journal::RunRecorder>(
        config, &log_, journalPath_,
        brokerListener_ ? [this, run = ++runs_](BrokerState s) {
            // The previous run's publisher, still sending its queue, is not the one shown.
            if (run == runs_)
                brokerListener_(s);
        } : std::function<void(BrokerState)>());
    if (brokerListener_ && !recorder_->isPublishing())
        brokerListener_(std::nullopt);
}

void RecordConsumer::runStopped(const QString&) {
    if (recorder_)
        recorder_->runStopped();
}

void RecordConsumer::setBrokerListener(std::function<void(std::optional<BrokerState>)> listener) {
    brokerListener_ = std::move(listener);
}

void RecordConsumer::reading(const reading::DataLine& line, ReadingOutcome outcome) {
    if (!recorder_)
        return;
    switch (outcome) {
    case ReadingOutcome::Value: // recorded once settled
        return;
    case ReadingOutcome::Repeat:
        return recorder_->record(line, Outcome::Filtered);
    case ReadingOutcome::NoValue:
        return recorder_->record(line, Outcome::Error);
    case ReadingOutcome::Unstable:
        return recorder_->record(line, Outcome::Unstable);
    }
}

void RecordConsumer::settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) {
    journal::RunRecorder* recorder = previous_ && line.getInstant() < startedAt_ ? previous_.get() : recorder_.get();
    if (!recorder)
        return;
    switch (delivery) {
    case Delivery::Typed:
        return recorder->record(line, Outcome::Typed);
    case Delivery::Printed:
        return recorder->record(line, Outcome::Printed);
    case Delivery::Dropped:
        return recorder->record(line, Outcome::Dropped, reason);
    }
}

std::optional<std::int64_t> RecordConsumer::finish(std::chrono::milliseconds bound) {
    if (previous_)
        previous_->flushWithReports();
    return recorder_ ? recorder_->finish(bound) : std::nullopt;
}

} // namespace tarovex
