#pragma once

#include "journal/JournalDb.h"
#include "journal/RunRecorder.h"
#include "reading/EventLog.h"
#include "tarovex/run/ReadingConsumer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tarovex {

// The record of the readings (the journal, the live CSV file, MQTT publishing) as a consumer
// of the run: a recorder per run, made at its start from the run's settings. It outlives
// the run's stop, so that readings still queued for the broker go on being sent until the
// next start or the end of the program.
class RecordConsumer : public ReadingConsumer {
public:
    using BrokerState = journal::BrokerState;

    // `log` hears the record's messages, on the run's thread.
    explicit RecordConsumer(reading::EventLog& log, QString journalPath = journal::JournalDb::defaultPath());

    void runStarted(const config::Config& config) override;
    // A line is recorded once its fate is known: a value when it has been typed or dropped.
    void reading(const reading::DataLine& line, ReadingOutcome outcome) override;
    void settled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) override;
    // The status topic says "offline"; readings still queued for the broker go on.
    void runStopped(const QString& reason) override;

    // Hears, on the run's thread, the broker connection of each run that publishes: up or
    // down at once, the count of readings waiting for it at most once a second; nullopt at
    // the start of a run that does not publish.
    void setBrokerListener(std::function<void(std::optional<BrokerState>)> listener);

    // The end of a console run: writes what is queued and waits at most `bound` for the
    // broker. Returns how many readings are still queued for it; none without publishing.
    std::optional<std::int64_t> finish(std::chrono::milliseconds bound);

private:
    reading::EventLog& log_;
    QString journalPath_;
    std::function<void(std::optional<BrokerState>)> brokerListener_;
    std::uint64_t runs_ = 0; // the current run's number, for its broker's messages
    std::unique_ptr<journal::RunRecorder> recorder_;
    // The run before, whose last value may still be settled after the next start: its lines
    // are older than that start.
    std::unique_ptr<journal::RunRecorder> previous_;
    reading::DataLine::Instant startedAt_{};
};

} // namespace tarovex
