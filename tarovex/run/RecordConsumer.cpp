#include "tarovex/run/RecordConsumer.h"

namespace tarovex {

RecordConsumer::RecordConsumer(bool typing, std::function<void(const QString&)> log, QString journalPath)
    : typing_(typing), log_(std::move(log)), journalPath_(std::move(journalPath)) {}

void RecordConsumer::runStarted(const config::Config& config) {
    // The previous run's record is written out first, with its last messages.
    if (recorder_)
        recorder_->flushWithReports();
    recorder_.reset();
    recorder_ = std::make_unique<journal::RunRecorder>(
        config, log_, journalPath_,
        brokerListener_ ? [listener = brokerListener_](BrokerState s) { listener(s); }
                        : std::function<void(BrokerState)>());
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

void RecordConsumer::reading(const worker::DataLine& line, ReadingOutcome outcome) {
    if (recorder_)
        recorder_->record(line, journal::outcomeOf(line, outcome == ReadingOutcome::Repeat, typing_));
}

std::optional<std::int64_t> RecordConsumer::finish(std::chrono::milliseconds bound) {
    return recorder_ ? recorder_->finish(bound) : std::nullopt;
}

} // namespace tarovex
