#include "tarovex/run/RecordConsumer.h"

namespace tarovex {

RecordConsumer::RecordConsumer(bool typing, std::function<void(const QString&)> log, QString journalPath)
    : typing_(typing), log_(std::move(log)), journalPath_(std::move(journalPath)) {}

void RecordConsumer::runStarted(const config::Config& config) {
    // The previous run's record is written out first, with its last messages.
    if (recorder_)
        recorder_->flushWithReports();
    recorder_.reset();
    recorder_ = std::make_unique<journal::RunRecorder>(config, log_, journalPath_);
}

void RecordConsumer::reading(const worker::DataLine& line, ReadingOutcome outcome) {
    if (recorder_)
        recorder_->record(line, journal::outcomeOf(line, outcome == ReadingOutcome::Repeat, typing_));
}

std::optional<std::int64_t> RecordConsumer::finish(std::chrono::milliseconds bound) {
    return recorder_ ? recorder_->finish(bound) : std::nullopt;
}

} // namespace tarovex
