#include "tarovex/RunController.h"

#include "Tarolink/SerialExceptions.h"
#include "tarovex/texts/ShellBundle.h"
#include "worker/openhint/OpenFailureHint.h"

#include <QDateTime>
#include <QTimer>

namespace tarovex {

namespace CH = config::ConfigHelper;

RunController::RunController(const config::Config& config, RunServices services, Notifier& notifier,
                             MessageLog& log, QObject* parent)
    : QObject(parent), config_(config), services_(std::move(services)), notifier_(notifier), log_(log) {}

RunController::~RunController() {
    if (worker_)
        worker_->cancel(true);
    releaseOutputs();
}

void RunController::startStop() {
    if (connected_ || worker_)
        stop();
    else
        start();
}

bool RunController::start() {
    using Kind = Notifier::Kind;
    try {
        typer_ = services_.makeTyper(config_, *this);
    } catch (const std::exception& e) {
        notifier_.show(Kind::Error, text("error"),
                       text("error.initializing.keyboard.output") + QString::fromUtf8(e.what()));
    }
    if (services_.capsLockOn && services_.capsLockOn().value_or(false))
        notifier_.show(Kind::Warning, text("warning"), text("please.turn.off.caps.lock"));
    if (config_.getSound() != CH::Sound::NONE) {
        try {
            sound_ = services_.makeSound(config_.getSound().getPercussionNumber());
        } catch (const std::exception& e) {
            notifier_.show(Kind::Error, text("sound.output.error"),
                           text("error.while.initializing.sound.output") + QString::fromUtf8(e.what()));
        }
    }
    if (config_.ignoreDuplicates)
        ignorer_.emplace(config_);

    worker::CreatedWorker created;
    try {
        created = services_.makeWorker(*this, config_);
    } catch (const std::invalid_argument& e) {
        // Also the serial library's refused settings.
        notifier_.show(Kind::Error, text("invalid.setting"), QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        const auto hint = worker::openFailureHint(config_.getPort(), e);
        notifier_.show(Kind::Error, text("error.opening.port"),
                       QString::fromUtf8(e.what()) + (hint ? u'\n' + *hint : QString()));
    }
    if (!created.worker) {
        releaseOutputs();
        return false;
    }
    worker_ = std::move(created.worker);
    connect(worker_.get(), &worker::WeightWorker::finished, this, &RunController::workerFinished);
    if (created.warning)
        notifier_.show(Kind::Warning, text("warning"), *created.warning);

    if (typer_) {
        typer_->start();
        const auto instrument = config_.getInstrument().value_or(CH::Instrument::getDefault());
        logEvent(text("RazezaRoZurFrame2.deviceLabel.text") + u' ' + instrument.getDisplayName());
        if (!config_.getCustomRegEx().isEmpty())
            logEvent(QStringLiteral("Custom regEx: ") + config_.getCustomRegEx());
        logEvent(text("keyboard.output.started.type") + u' ' + config_.getKeyboardType().toString());
        if (const QString description = typer_->description(); !description.isEmpty())
            logEvent(description);
        for (const QString& warning : typer_->warnings())
            logImportantEvent(text("warning") + QStringLiteral(": ") + warning);
    }
    worker_->start();
    return true;
}

void RunController::stop() {
    if (worker_)
        worker_->cancel(true);
    releaseOutputs();
}

void RunController::releaseOutputs() {
    if (typer_)
        typer_->stop();
    typer_.reset();
    if (sound_)
        sound_->close();
    sound_.reset();
    ignorer_.reset();
}

void RunController::workerFinished() {
    // A run that ended by itself (device gone, read error) must not leave the typing thread
    // of this run behind: the next Start makes new ones.
    releaseOutputs();
    if (auto* w = worker_.release())
        w->deleteLater(); // we are inside its signal
}

void RunController::logEvent(const QString& t) {
    log_.append(eventLine(QDateTime::currentDateTime(), t, LogStyle::Regular));
}

void RunController::logImportantEvent(const QString& t) {
    log_.append(eventLine(QDateTime::currentDateTime(), t, LogStyle::Important));
}

void RunController::setConnectedInGUI(bool connected) {
    connected_ = connected;
    emit connectedChanged(connected);
}

void RunController::dataLineReceived(worker::DataLine line) {
    if (ignorer_)
        ignorer_->process(line);
    if (sound_ && line.hasValue())
        sound_->play();
    log_.append(dataLineLog(line));
    emit statusChanged(text("line.count") + QString::number(line.getCount()));
    if (typer_)
        typer_->putString(line.getProcessedData());
}

} // namespace tarovex
