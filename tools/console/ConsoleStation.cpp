#include "ConsoleStation.h"

namespace tarovex::console {

struct ConsoleStation::Instrument {
    Instrument(Streams& streams, const QString& name)
        : log(streams.log, streams.logLines, name), notifier(log),
          values(streams.values, log, streams.format, name) {}
    ConsoleLog log;
    ConsoleNotifier notifier;
    ValueWriter values;
    std::unique_ptr<Run> run; // last: it goes first, while the parts it calls are there
    bool running = false;
};

ConsoleStation::ConsoleStation(Streams streams, bool names) : streams_(streams), names_(names) {}

ConsoleStation::~ConsoleStation() = default;

RunLog& ConsoleStation::add(const config::Config& config, RunServices services, bool record,
                            bool typingRequired) {
    auto instrument = std::make_unique<Instrument>(streams_, names_ ? config.instrumentName() : QString());
    Instrument& i = *instrument;
    i.run = assembleRun(config, std::move(services), i.notifier, i.log,
                        {.consumers = {&i.values}, .record = record, .hotkeys = false});
    RunController& run = i.run->controller();
    run.setTypingRequired(typingRequired);
    // Never type into a lock screen; watched only by a station that types.
    if (typingRequired) {
        if (!lock_)
            lock_ = std::make_unique<LockWatch>();
        run.watchLock(*lock_);
    }
    // A run ends once the value being typed is complete too.
    QObject::connect(&run, &RunController::runEnded, &context_, [this, &i](const QString& reason) {
        i.run->controller().shutdown([this, &i, failed = !reason.isEmpty()] { instrumentEnded(i, failed); });
    });
    // A port that cannot be opened has been told of; what was started ends as at a stop.
    QObject::connect(&run, &RunController::startFailed, &context_,
                     [this, &i] { i.run->controller().shutdown([this, &i] { instrumentEnded(i, true); }); });
    instruments_.push_back(std::move(instrument));
    return i.log;
}

bool ConsoleStation::start() {
    bool any = false;
    for (auto& i : instruments_) {
        i->running = i->run->controller().start();
        failed_ |= !i->running;
        any |= i->running;
    }
    return any;
}

void ConsoleStation::stop() {
    for (auto& i : instruments_)
        if (i->running)
            i->run->controller().stop();
}

void ConsoleStation::request() {
    for (auto& i : instruments_)
        if (i->running) {
            i->run->controller().shortcutRequested();
            i->run->requester().request();
        }
}

void ConsoleStation::instrumentEnded(Instrument& instrument, bool failed) {
    if (!instrument.running)
        return;
    instrument.running = false;
    failed_ |= failed;
    for (const auto& i : instruments_)
        if (i->running)
            return;
    if (ended_)
        ended_(failed_ ? 1 : 0);
}

qsizetype ConsoleStation::finishRecords(std::chrono::milliseconds bound) {
    // One station's instruments share its queue: each tells the same count.
    qsizetype queued = 0;
    // The brokers are waited for one after the other, within one bound in all.
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (auto& i : instruments_)
        if (RecordConsumer* record = i->run->record()) {
            const auto left =
                std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           deadline - std::chrono::steady_clock::now()));
            queued = std::max<qsizetype>(queued, record->finish(left).value_or(0));
        }
    return queued;
}

} // namespace tarovex::console
