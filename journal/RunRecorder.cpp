#include "journal/RunRecorder.h"

#include "journal/Attribution.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace tarovex::journal {

RunRecorder::RunRecorder(const config::Config& config, reading::EventLog* log, const QString& journalPath,
                         std::function<void(BrokerState)> broker)
    : posted_(log), port_(config.getPort()),
      instrument_(config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault()).name()),
      label_(config.instrumentName()) {
    const config::RecordSettings& settings = config.record;
    const auto report = [log](const QString& message) {
        if (log)
            log->logImportantEvent(message);
    };
    std::vector<std::unique_ptr<RecordSink>> sinks;
    const std::optional<bool> clock = clockSynchronised();
    const bool publish = !settings.mqttBroker.isEmpty();
    if (publish && !settings.journal)
        report(QStringLiteral("MQTT publishing sends from the journal: with the setting journal off nothing "
                              "is published."));
    if (settings.journal) {
        try {
            JournalSink::Options options{settings.stationName(), settings.journalDaysAsInt(),
                                         settings.journalMaxBytes(), publish};
            auto db = std::make_unique<JournalDb>(journalPath);
            RecordEvent run = attributedEvent(RecordEvent::Kind::Run);
            run.label = label_;
            run.port = port_;
            run.instrument = instrument_;
            run.clockSynchronised = clock;
            db->appendEvents({&run, 1}, settings.stationName());
            if (db->sealedOnOpen() > 0 && log)
                log->logEvent(
                    QStringLiteral("The journal's %1 readings written before its hash chain were sealed "
                                   "into it; tarovex-console --journal-verify checks them from now on.")
                        .arg(db->sealedOnOpen()));
            if (publish) {
                try {
                    publisher_ = SharedPublisher::join(
                        MqttPublisher::Options{settings.mqttBroker, settings.mqttTopic,
                                               settings.stationName(), settings.mqttUser,
                                               settings.mqttPasswordFile, settings.mqttCaFile, journalPath},
                        &posted_, broker ? [this, broker](BrokerState state) {
                            QMetaObject::invokeMethod(
                                &context_, [broker, state] { broker(state); }, Qt::QueuedConnection);
                        } : std::function<void(BrokerState)>());
                } catch (const MqttError& e) {
                    report(QString::fromUtf8(e.what()) +
                           QStringLiteral("; the readings wait in the journal until it is mended."));
                }
            }
            waker_->publisher = publisher_.get();
            sinks.push_back(std::make_unique<JournalSink>(std::move(db), options, &posted_,
                                                          [waker = waker_](std::int64_t) { waker->wake(); }));
        } catch (const JournalError& e) {
            report(QString::fromUtf8(e.what()) + QStringLiteral("; the readings are not kept."));
        }
    }
    if (!settings.csvFile.isEmpty())
        sinks.push_back(std::make_unique<LiveCsvFile>(settings.csvFile, settings.stationName(), &posted_));
    if (!sinks.empty()) {
        thread_.emplace(std::move(sinks), &posted_);
        if (clock == false)
            report(QStringLiteral("The clock of this computer is not synchronised with a time server: the "
                                  "times recorded may be off."));
    }
}

RunRecorder::~RunRecorder() = default;

void RunRecorder::record(const reading::DataLine& line, Outcome outcome, QLatin1StringView reason) {
    if (!thread_)
        return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(line.getInstant().time_since_epoch());
    Reading r{ms.count(), port_, instrument_, line.getRawData().toLatin1(), line.getProcessedData(), outcome};
    r.reason = reason;
    r.label = label_;
    r.output = line.getOutput();
    thread_->append(std::move(r));
}

void RunRecorder::endPublishing() {
    {
        const std::lock_guard lock(waker_->mutex);
        waker_->publisher = nullptr;
    }
    publisher_.reset();
}

void RunRecorder::Waker::wake() {
    const std::lock_guard lock(mutex);
    if (publisher)
        publisher->wake();
}

void RunRecorder::runStopped() {
    if (publisher_)
        publisher_->runStopped();
}

void RunRecorder::flush() {
    if (thread_)
        thread_->flush();
}

void RunRecorder::flushWithReports() {
    flush();
    // Also without an event loop (after the console's has ended).
    posted_.deliverPending();
    QCoreApplication::sendPostedEvents(&context_, QEvent::MetaCall);
}

std::optional<std::int64_t> RunRecorder::finish(std::chrono::milliseconds bound) {
    flushWithReports();
    if (!publisher_)
        return std::nullopt;
    return publisher_->drain(bound);
}

} // namespace tarovex::journal
