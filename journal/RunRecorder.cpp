#include "journal/RunRecorder.h"

#include <QMetaObject>

namespace tarovex::journal {

RunRecorder::RunRecorder(const config::Config& config, Report report, const QString& journalPath)
    : port_(config.getPort()),
      instrument_(config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault()).name()) {
    const config::RecordSettings& settings = config.record;
    // From the record thread to ours; a report still queued when we are gone is dropped with
    // the context object.
    const Report post = [this, report](const QString& message) {
        QMetaObject::invokeMethod(
            &context_, [report, message] { report(message); }, Qt::QueuedConnection);
    };
    std::vector<std::unique_ptr<RecordSink>> sinks;
    if (settings.journal) {
        try {
            JournalSink::Options options{settings.stationName(), settings.journalDaysAsInt(),
                                         settings.journalMaxBytes(), !settings.mqttBroker.isEmpty()};
            sinks.push_back(
                std::make_unique<JournalSink>(std::make_unique<JournalDb>(journalPath), options, post));
        } catch (const JournalError& e) {
            report(QString::fromUtf8(e.what()) + QStringLiteral("; the readings are not kept."));
        }
    }
    if (!settings.csvFile.isEmpty())
        sinks.push_back(std::make_unique<LiveCsvFile>(settings.csvFile, settings.stationName(), post));
    if (!sinks.empty())
        thread_.emplace(std::move(sinks));
}

RunRecorder::~RunRecorder() = default;

void RunRecorder::record(const worker::DataLine& line, Outcome outcome) {
    if (!thread_)
        return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(line.getInstant().time_since_epoch());
    thread_->append(
        {ms.count(), port_, instrument_, line.getRawData().toLatin1(), line.getProcessedData(), outcome});
}

void RunRecorder::flush() {
    if (thread_)
        thread_->flush();
}

} // namespace tarovex::journal
