#include "tarovex/requests/Requester.h"

#include "config/InstrumentCommands.h"
#include "tarovex/texts/ShellBundle.h"

namespace tarovex {

Requester::Requester(std::function<void(const QByteArray&)> send, std::function<void(const QString&, bool)> log,
                     QObject* parent)
    : QObject(parent), send_(std::move(send)), log_(std::move(log)) {
    answer_.setSingleShot(true);
    answer_.setInterval(kAnswerLimit);
    connect(&answer_, &QTimer::timeout, this, &Requester::giveUp);
    connect(&ticks_, &QTimer::timeout, this, [this] { request(); });
}

void Requester::begin(const config::Config& config) {
    const auto instrument = config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault());
    const config::InstrumentCommands commands = config::commandsOf(instrument);
    // The setting was checked when it was stored; a text that still does not parse sends nothing.
    data_ = config.getRequestCommand().isEmpty() ? commands.data
                                                 : config::parseCommandText(config.getRequestCommand()).value_or(QByteArray());
    tare_ = commands.tare;
    zero_ = commands.zero;
    running_ = true;
    outstanding_ = silenceLogged_ = false;
    const int interval = config.getRequestIntervalAsInt();
    if (interval > 0 && !data_.isEmpty()) {
        ticks_.start(interval);
        log_(config::ResourceBundle::formatMessage(text(QStringLiteral("request.timer")),
                                                  {QString::number(interval), config::commandText(data_)}),
             false);
    } else if (interval > 0) {
        log_(text(QStringLiteral("request.no.command")), true);
    }
}

void Requester::lineReceived() {
    outstanding_ = false;
    silenceLogged_ = false;
    answer_.stop();
}

void Requester::end() {
    running_ = outstanding_ = false;
    ticks_.stop();
    answer_.stop();
}

bool Requester::request() {
    if (!running_ || data_.isEmpty() || outstanding_)
        return false;
    outstanding_ = true;
    answer_.start();
    send_(data_);
    return true;
}

bool Requester::send(Command command) {
    if (command == Command::Data)
        return request();
    const QByteArray& bytes = command == Command::Tare ? tare_ : zero_;
    if (!running_ || bytes.isEmpty())
        return false;
    send_(bytes);
    return true;
}

bool Requester::knows(Command command) const {
    switch (command) {
    case Command::Data: return !data_.isEmpty();
    case Command::Tare: return !tare_.isEmpty();
    case Command::Zero: return !zero_.isEmpty();
    }
    return false;
}

void Requester::giveUp() {
    outstanding_ = false;
    if (silenceLogged_)
        return;
    silenceLogged_ = true;
    log_(config::ResourceBundle::formatMessage(text(QStringLiteral("request.unanswered")),
                                              {QString::number(kAnswerLimit.count())}),
         true);
}

} // namespace tarovex
