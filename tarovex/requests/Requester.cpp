#include "tarovex/requests/Requester.h"

#include "Tarolink/RoutingDriver.h"
#include "config/InstrumentCommands.h"
#include "tarovex/run/RunController.h"
#include "tarovex/texts/ShellBundle.h"

namespace tarovex {

Requester::Requester(RunController& run, QObject* parent) : QObject(parent), run_(run) {
    run_.addConsumer(this);
    answer_.setSingleShot(true);
    answer_.setInterval(kAnswerLimit);
    connect(&answer_, &QTimer::timeout, this, &Requester::giveUp);
    connect(&ticks_, &QTimer::timeout, this, [this] { request(); });
}

void Requester::runStarted(const config::Config& config) {
    const auto instrument = config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault());
    const config::InstrumentCommands commands = config::commandsOf(instrument);
    // The setting was checked when it was stored; a text that still does not parse sends nothing.
    data_ = config.getRequestCommand().isEmpty()
                ? commands.data
                : config::parseCommandText(config.getRequestCommand()).value_or(QByteArray());
    tare_ = commands.tare;
    zero_ = commands.zero;
    // A USB scale zeroes through a control of its own, which its driver sends for "Z".
    if (Tarolink::RoutingDriver::isScaleName(config.getPort().toStdString())) {
        data_.clear();
        tare_.clear();
        zero_ = QByteArray("Z\r\n");
    }
    running_ = true;
    outstanding_ = silenceLogged_ = false;
    const int interval = config.getRequestIntervalAsInt();
    if (interval > 0 && !data_.isEmpty()) {
        ticks_.start(interval);
        run_.logEvent(config::ResourceBundle::formatMessage(
            text(QStringLiteral("request.timer")), {QString::number(interval), config::commandText(data_)}));
    } else if (interval > 0) {
        run_.logImportantEvent(text(QStringLiteral("request.no.command")));
    }
}

void Requester::reading(const reading::DataLine&, ReadingOutcome) {
    outstanding_ = false;
    silenceLogged_ = false;
    answer_.stop();
}

void Requester::runStopped(const QString&) {
    running_ = outstanding_ = false;
    ticks_.stop();
    answer_.stop();
}

bool Requester::request() {
    if (!running_ || data_.isEmpty() || outstanding_)
        return false;
    outstanding_ = true;
    answer_.start();
    run_.send(data_);
    return true;
}

bool Requester::send(Command command) {
    if (command == Command::Data)
        return request();
    const QByteArray& bytes = command == Command::Tare ? tare_ : zero_;
    if (!running_ || bytes.isEmpty())
        return false;
    run_.send(bytes);
    return true;
}

bool Requester::knows(Command command) const {
    switch (command) {
    case Command::Data:
        return !data_.isEmpty();
    case Command::Tare:
        return !tare_.isEmpty();
    case Command::Zero:
        return !zero_.isEmpty();
    }
    return false;
}

void Requester::giveUp() {
    outstanding_ = false;
    if (silenceLogged_)
        return;
    silenceLogged_ = true;
    run_.logImportantEvent(config::ResourceBundle::formatMessage(text(QStringLiteral("request.unanswered")),
                                                                 {QString::number(kAnswerLimit.count())}));
}

} // namespace tarovex
