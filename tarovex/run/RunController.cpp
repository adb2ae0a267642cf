#include "tarovex/run/RunController.h"

#include "config/ResourceBundle.h"
#include "tarovex/prefs/EnforcedSettings.h"
#include "tarovex/run/LockWatch.h"
#include "tarovex/run/MessageLogWriter.h"
#include "tarovex/station/Round.h"
#include "tarovex/texts/ShellBundle.h"
#include "typing/KeystrokeQueue.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/openhint/OpenFailureHint.h"

#include <QDateTime>
#include <QMetaMethod>

#include <algorithm>
#include <stdexcept>
#include <variant>

namespace tarovex {

namespace CH = config::ConfigHelper;
namespace WM = worker::WorkerMessages;
namespace Drop = reading::DropReason;

namespace {

QString workerText(QLatin1StringView key) {
    return worker::workerBundle().getString(key);
}

// Why a worker ended, in one line; empty when it was stopped.
QString endReason(worker::WeightWorker& w) {
    using Outcome = worker::WeightWorker::Outcome;
    switch (w.outcome()) {
    case Outcome::DeviceGone:
        return config::ResourceBundle::formatPrintf(workerText(WM::DEVICE_DISCONNECTED),
                                                    {QString::fromStdString(w.source().name())});
    case Outcome::Failed:
        return workerText(WM::EXECUTION_EXCEPTION) + w.failure().value_or(QString());
    case Outcome::Interrupted:
        return workerText(WM::INTERRUPTED);
    case Outcome::Cancelled:
    case Outcome::Running:
        break;
    }
    return {};
}

} // namespace

RunController::RunController(const config::Config& config, RunServices services, Notifier& notifier,
                             RunLog& log, QObject* parent)
    : RunController(config, std::move(services), notifier, nullptr, &log, parent) {}

RunController::RunController(const config::Config& config, RunServices services, Notifier& notifier,
                             MessageLog& log, QObject* parent)
    : RunController(config, std::move(services), notifier, std::make_unique<MessageLogWriter>(log), nullptr,
                    parent) {}

RunController::RunController(const config::Config& config, RunServices services, Notifier& notifier,
                             std::unique_ptr<RunLog> ownLog, RunLog* log, QObject* parent)
    : QObject(parent), config_(config), services_(std::move(services)), notifier_(notifier),
      ownLog_(std::move(ownLog)), log_(log ? *log : *ownLog_) {
    shutdownTimer_.setSingleShot(true);
    connect(&shutdownTimer_, &QTimer::timeout, this, &RunController::abandonTyping);
}

RunController::~RunController() {
    if (worker_)
        worker_->cancel(true);
    // Ending the process: a value still being typed is cut short, with no key left down.
    for (auto& t : finishing_)
        t->abandon();
    if (typer_)
        typer_->abandon();
    typer_.reset();
    finishing_.clear();
    // The consumers may be gone: fates not told by now (shutdown() waits for them) are lost
    // with the process.
}

void RunController::startStop() {
    if (connected_ || worker_ || opening_)
        stop();
    else
        start();
}

bool RunController::start() {
    using Kind = Notifier::Kind;
    if (opening_)
        stop();
    if (std::exchange(abandonedOpen_, false))
        endRun({});
    if (worker_) { // stopped, its end not yet reported
        worker_.reset();
        endRun({});
    }
    runConfig_ = config_;
    if (services_.makeTyper) {
        try {
            typer_ = services_.makeTyper(runConfig_, *this);
        } catch (const std::exception& e) {
            notifier_.show(Kind::Error, text("error"),
                           workerText(WM::ERROR_INITIALIZING_KEYBOARD_OUTPUT) + QString::fromUtf8(e.what()));
            if (typingRequired_)
                return false;
        }
    }
    if (services_.capsLockOn && services_.capsLockOn().value_or(false))
        notifier_.show(Kind::Warning, text("warning"), text("please.turn.off.caps.lock"));
    if (services_.makeSound && runConfig_.getSound() != CH::Sound::NONE) {
        try {
            sound_ = services_.makeSound(runConfig_.getSound().getPercussionNumber());
        } catch (const std::exception& e) {
            notifier_.show(Kind::Error, text("sound.output.error"),
                           text("error.while.initializing.sound.output") + QString::fromUtf8(e.what()));
        }
    }
    if (runConfig_.ignoreDuplicates)
        ignorer_.emplace(runConfig_);
    shaper_.reset();
    try {
        shaper_ = OutputShaper::make(runConfig_);
    } catch (const std::exception& e) {
        // Checked wherever it is set: only a store edited by hand gets here.
        notifier_.show(Kind::Error, text("error"),
                       QStringLiteral("The output template is not used: ") + QString::fromUtf8(e.what()));
    }

    // An unreachable address or a hung device must not hold the caller: the port opens on a
    // thread of its own.
    opening_ = std::make_unique<worker::PortOpening>(
        [open = services_.openPort, config = runConfig_] { return open(config); },
        [this](worker::PortOpening::Outcome outcome) { opened(std::move(outcome)); });
    emit openingChanged(true);
    emit statusChanged(config::ResourceBundle::formatMessage(text("opening.port"), {runConfig_.getPort()}));
    return true;
}

void RunController::opened(worker::PortOpening::Outcome outcome) {
    opening_.reset();
    if (const auto* failure = std::get_if<std::exception_ptr>(&outcome)) {
        emit openingChanged(false);
        try {
            std::rethrow_exception(*failure);
        } catch (const std::invalid_argument& e) {
            // Also the serial library's refused settings.
            failStart(text("invalid.setting"), QString::fromUtf8(e.what()));
        } catch (const std::exception& e) {
            const auto hint = worker::openFailureHint(runConfig_.getPort(), e);
            failStart(text("error.opening.port"), workerText(WM::ERROR_OPENING_PORT) +
                                                      worker::openFailureReason(runConfig_.getPort(), e) +
                                                      (hint ? u'\n' + *hint : QString()));
        } catch (...) {
            failStart(text("error.opening.port"), workerText(WM::ERROR_OPENING_PORT));
        }
        return;
    }
    run(worker::createWeightWorker(std::get<worker::OpenedPort>(std::move(outcome)), *this, runConfig_));
    // Once connected, so that the window goes straight to the running appearance.
    emit openingChanged(false);
}

void RunController::failStart(const QString& title, const QString& message) {
    notifier_.show(Notifier::Kind::Error, title, message);
    retireTyper();
    sound_.reset();
    ignorer_.reset();
    emit startFailed(message);
}

void RunController::run(worker::CreatedWorker created) {
    using Kind = Notifier::Kind;
    worker_ = std::move(created.worker);
    connect(worker_.get(), &worker::WeightWorker::finished, this, &RunController::workerFinished);

    const auto instrument = runConfig_.getInstrument().value_or(CH::Instrument::getDefault());
    logEvent(text("RazezaRoZurFrame2.deviceLabel.text") + u' ' + instrument.getDisplayName());
    if (!runConfig_.getCustomRegEx().isEmpty())
        logEvent(QStringLiteral("Custom regEx: ") + runConfig_.getCustomRegEx());
    const prefs::EnforcedSettings& locked = prefs::enforcedSettings();
    if (!locked.values().isEmpty())
        logEvent(
            shellBundle().format(QStringLiteral("enforced.settings"), {locked.path(), locked.summary()}));
    for (const QString& problem : locked.problems())
        logImportantEvent(problem);
    if (typer_ && !lockWatch_.isEmpty())
        logEvent(lockWatch_);
    if (typer_) {
        typer_->setHeld(held_ || locked_);
        ValueTyper* typer = typer_.get();
        typerStarted_ = true;
        // Both on the typing thread; this outlives every typer it made, and hears its fates
        // before its end.
        typer_->start(
            [this, typer] {
                QMetaObject::invokeMethod(
                    this, [this, typer] { typerEnded(typer); }, Qt::QueuedConnection);
            },
            [this](std::vector<typing::TypingFate> fates) {
                QMetaObject::invokeMethod(
                    this, [this, fates = std::move(fates)] { typingFates(fates); }, Qt::QueuedConnection);
            });
        logEvent(workerText(WM::KEYBOARD_OUTPUT_STARTED_TYPE) + u' ' +
                 runConfig_.getKeyboardType().toString());
        if (const QString description = typer_->description(); !description.isEmpty())
            logEvent(description);
        for (const QString& warning : typer_->warnings())
            logImportantEvent(text("warning") + QStringLiteral(": ") + warning);
    }
    stability_.reset();
    if (runConfig_.stableOnly) {
        try {
            stability_.emplace(instrument, runConfig_.getStableRegEx());
        } catch (const std::exception& e) {
            logImportantEvent(shellBundle().format(QStringLiteral("stable.expression.unused"),
                                                   {QString::fromUtf8(e.what())}));
        }
        if (stability_ && !stability_->marks()) {
            logImportantEvent(text("stable.unmarked"));
            stability_.reset();
        }
    }
    runOpen_ = true;
    for (ReadingConsumer* c : consumers_)
        c->runStarted(runConfig_);
    worker_->start();
    // Last: a message box spins the event loop, which delivers connectedChanged, and the
    // window then asks the consumers about this run.
    if (created.warning)
        notifier_.show(Kind::Warning, text("warning"), *created.warning);
}

void RunController::stop() {
    if (opening_) {
        opening_.reset(); // its port is closed once it opens
        abandonedOpen_ = true;
        emit openingChanged(false);
        // Told from the event loop, as a stopped worker's end is.
        QMetaObject::invokeMethod(this, &RunController::reportAbandonedOpen, Qt::QueuedConnection);
    }
    if (worker_)
        worker_->cancel(true);
    retireTyper();
    if (sound_)
        sound_->close();
    sound_.reset();
}

void RunController::reportAbandonedOpen() {
    if (std::exchange(abandonedOpen_, false))
        endRun({});
}

void RunController::shutdown(std::function<void()> done, std::chrono::milliseconds bound) {
    shutdownDone_ = std::move(done);
    stop();
    shutdownTimer_.start(bound);
    // Never from inside the caller.
    QMetaObject::invokeMethod(this, &RunController::checkShutdown, Qt::QueuedConnection);
}

void RunController::checkShutdown() {
    if (!shutdownDone_ || worker_ || opening_ || abandonedOpen_ || !finishing_.empty())
        return;
    shutdownTimer_.stop();
    std::exchange(shutdownDone_, {})();
}

void RunController::abandonTyping() {
    if (finishing_.empty())
        return;
    logImportantEvent(shellBundle().format(QStringLiteral("typing.abandoned"),
                                           {QString::number(double(shutdownTimer_.interval()) / 1000)}));
    for (auto& t : finishing_)
        t->abandon();
}

void RunController::retireTyper() {
    showWaiting(false);
    if (!typer_)
        return;
    if (!std::exchange(typerStarted_, false)) {
        typer_.reset(); // its port never opened: it has no thread and will not report an end
        return;
    }
    const ValueTyper::Stopped stopped = typer_->stop();
    if (!stopped.waiting.empty())
        logImportantEvent(shellBundle().format(QStringLiteral("values.dropped.at.stop"),
                                               {QString::number(stopped.waiting.size())}));
    settleAll(stopped.expired, Drop::AGE);
    settleAll(stopped.waiting, Drop::STOP);
    finishing_.push_back(std::move(typer_));
}

void RunController::typingFates(const std::vector<typing::TypingFate>& fates) {
    for (const typing::TypingFate& f : fates)
        settle(f.id, f.typed() ? Delivery::Typed : Delivery::Dropped, f.dropped);
}

void RunController::settleAll(const std::vector<std::uint64_t>& ids, QLatin1StringView reason) {
    for (const std::uint64_t id : ids)
        settle(id, Delivery::Dropped, reason);
}

Round* RunController::rounds() const {
    // A stopped run answers by the settings as they are now: a round may still begin with it.
    const bool on = (runOpen_ ? runConfig_ : config_).record.round;
    return services_.round && services_.round->applies(on) ? services_.round.get() : nullptr;
}

bool RunController::typeRow(std::vector<typing::RowPart> row, RowFate fate) {
    if (!typer_)
        return false;
    const std::uint64_t id = ++lastValueId_;
    rows_.emplace(id, std::move(fate));
    if (typer_->putRow(std::move(row), id))
        return true;
    rows_.erase(id);
    return false;
}

typing::RowPart RunController::rowPart(const reading::DataLine& line, std::uint64_t id) {
    typing::RowPart part{line.getProcessedData(), CH::StartWith::getKeyCode(runConfig_.getStartWith()),
                         CH::OutputTerminator::getKeyCode(runConfig_.getOutputTerminator())};
    if (!shaper_)
        return part;
    part.steps = shaper_->shape(line);
    part.startKey = part.endKey = 0;
    if (const auto it = pending_.find(id); it != pending_.end())
        it->second.line.setOutput(reading::describeSteps(part.steps));
    return part;
}

void RunController::settle(std::uint64_t id, Delivery delivery, QLatin1StringView reason) {
    if (const auto row = rows_.find(id); row != rows_.end()) {
        const RowFate fate = std::move(row->second);
        rows_.erase(row);
        fate(delivery, reason);
        return;
    }
    const auto it = pending_.find(id);
    if (it == pending_.end())
        return;
    const reading::DataLine line = std::move(it->second.line);
    pending_.erase(it);
    if (pending_.empty())
        showWaiting(false);
    tellSettled(line, delivery, reason);
}

void RunController::tellSettled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason) {
    for (ReadingConsumer* c : consumers_)
        c->settled(line, delivery, reason);
}

RunController::Waiting RunController::waiting() const {
    if (pending_.empty())
        return {};
    return {pending_.size(), pending_.begin()->second.queuedAt};
}

QString RunController::waitingText(std::chrono::steady_clock::time_point now) const {
    using namespace std::chrono;
    const Waiting w = waiting();
    if (!waitingShown_ || w.count == 0)
        return {};
    const auto left = duration_cast<seconds>(w.oldest + typing::KeystrokeQueue::kDefaultMaxAge - now + 999ms);
    return shellBundle().format(QStringLiteral("values.waiting.countdown"),
                                {QString::number(w.count), QString::number(std::max<qint64>(0, left.count()))});
}

void RunController::typerEnded(ValueTyper* typer) {
    const auto it = std::find_if(finishing_.begin(), finishing_.end(),
                                 [typer](const auto& t) { return t.get() == typer; });
    if (it == finishing_.end())
        return; // still the typer of the running run: it goes at stop()
    finishing_.erase(it);
    checkShutdown();
}

void RunController::workerFinished() {
    std::unique_ptr<worker::WeightWorker> w = std::move(worker_);
    const QString reason = endReason(*w);
    w.release()->deleteLater(); // we are inside its signal
    endRun(reason);
}

void RunController::endRun(const QString& reason) {
    // A run that ended by itself must not leave its typing thread or sound behind: the next
    // Start makes new ones.
    stop();
    ignorer_.reset();
    if (std::exchange(runOpen_, false))
        for (ReadingConsumer* c : consumers_)
            c->runStopped(reason);
    emit runEnded(reason);
    checkShutdown();
}

void RunController::setTypingHeld(bool held) {
    held_ = held;
    if (typer_)
        typer_->setHeld(held || locked_);
    // The value a stopped run is completing must not go into our window either.
    for (const auto& finishing : finishing_)
        finishing->setHeld(held || locked_);
    if (!held)
        showWaiting(false);
    else if (!pending_.empty() && typer_)
        showWaiting(true);
}

void RunController::setSessionLocked(bool locked) {
    if (locked_ == locked)
        return;
    locked_ = locked;
    // Held, the value in hand is cut short: its keys would go to the lock screen.
    for (const auto& finishing : finishing_)
        finishing->setHeld(locked || held_);
    if (!typer_)
        return;
    typer_->setHeld(locked || held_);
    if (!locked) {
        logEvent(text("session.unlocked"));
        emit statusChanged(text("session.unlocked"));
        return;
    }
    // What waits would be typed after the unlock, long after it was weighed: dropped.
    const ValueTyper::Stopped waiting = typer_->dropWaiting();
    settleAll(waiting.waiting, Drop::LOCKED);
    settleAll(waiting.expired, Drop::AGE);
    showWaiting(false);
    logImportantEvent(text("session.locked"));
    emit statusChanged(text("session.locked"));
}

void RunController::watchLock(const LockWatch& watch) {
    lockWatch_ = watch.summary();
    connect(&watch, &LockWatch::lockedChanged, this, &RunController::setSessionLocked);
    setSessionLocked(watch.locked());
}

void RunController::showWaiting(bool waiting) {
    if (waitingShown_ == waiting)
        return;
    waitingShown_ = waiting;
    // Once per wait: the log is where the user looks when the value does not arrive.
    if (waiting)
        logEvent(text("values.waiting"));
    emit valuesWaiting(waiting);
}

void RunController::shortcutRequested() {
    if (typer_)
        typer_->settleUntil(std::chrono::steady_clock::now() + kShortcutSettle);
}

void RunController::send(const QByteArray& bytes) {
    if (worker_ && runOpen_)
        worker_->send(bytes);
}

void RunController::logEvent(const QString& t) {
    log_.logEvent(t);
}

void RunController::logImportantEvent(const QString& t) {
    log_.logImportantEvent(t);
}

void RunController::setConnectedInGUI(bool connected) {
    connected_ = connected;
    emit connectedChanged(connected);
}

void RunController::dataLineReceived(reading::DataLine line) {
    // An unstable reading is not typed and never reaches the repeat filter.
    if (stability_ && line.hasValue() && (*stability_)(line.getRawData()) == config::Stability::Unstable) {
        for (ReadingConsumer* c : consumers_)
            c->reading(line, ReadingOutcome::Unstable);
        log_.unstableLine(line);
        static const QMetaMethod statusSignal = QMetaMethod::fromSignal(&RunController::statusChanged);
        if (isSignalConnected(statusSignal))
            emit statusChanged(text("line.count") + QString::number(line.getCount()));
        return;
    }
    ReadingOutcome outcome = line.hasValue() ? ReadingOutcome::Value : ReadingOutcome::NoValue;
    if (ignorer_ && line.hasValue()) {
        const QString value = line.getProcessedData();
        ignorer_->process(line);
        if (!line.hasValue()) {
            outcome = ReadingOutcome::Repeat;
            if (!consumers_.isEmpty()) {
                const reading::DataLine received(line.getRawData(), value, line.getCount(), line.getInstant(),
                                                 line.isError());
                for (ReadingConsumer* c : consumers_)
                    c->reading(received, outcome);
            }
        }
    }
    if (outcome != ReadingOutcome::Repeat)
        for (ReadingConsumer* c : consumers_)
            c->reading(line, outcome);
    if (outcome == ReadingOutcome::Value) {
        if (Round* round = rounds()) {
            const std::uint64_t id = ++lastValueId_;
            pending_.emplace(id, Pending{line, std::chrono::steady_clock::now()});
            if (!round->offer(*this, line, id)) {
                logImportantEvent(shellBundle().format(
                    QStringLiteral("round.value.unasked"),
                    {reading::DataLine::transformControlChars(line.getProcessedData())}));
                settle(id, Delivery::Dropped, Drop::NOT_IN_ROUND);
            }
        } else if (typer_) {
            const std::uint64_t id = ++lastValueId_;
            pending_.emplace(id, Pending{line, std::chrono::steady_clock::now()});
            // Nothing goes to a lock screen: the value is dropped, not kept for after.
            const bool queued = locked_ || (shaper_ ? typer_->putRow({rowPart(line, id)}, id)
                                                    : typer_->putString(line.getProcessedData(), id));
            if (locked_)
                settle(id, Delivery::Dropped, Drop::LOCKED);
            else if (!queued)
                settle(id, Delivery::Dropped, Drop::QUEUE_FULL);
            else if (held_)
                showWaiting(true);
        } else {
            // A run that types nothing prints; one whose keyboard could not be made drops.
            const bool printing = !services_.makeTyper;
            tellSettled(line, printing ? Delivery::Printed : Delivery::Dropped,
                        printing ? QLatin1StringView() : Drop::TYPING_FAILED);
        }
    }
    if (sound_ && line.hasValue())
        sound_->play();
    log_.line(line);
    static const QMetaMethod statusSignal = QMetaMethod::fromSignal(&RunController::statusChanged);
    if (isSignalConnected(statusSignal) && !waitingShown_)
        emit statusChanged(text("line.count") + QString::number(line.getCount()));
}

} // namespace tarovex
