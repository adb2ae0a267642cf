#include "tarovex/station/StationInstruments.h"

#include "config/SettingsTable.h"
#include "tarovex/station/InstrumentProfiles.h"

#include <algorithm>
#include <sstream>

namespace tarovex {

StationInstruments::StationInstruments(prefs::Preferences* settings, RunServices services, Notifier& notifier,
                                       MessageLog& log)
    : settings_(settings), services_(std::move(services)), notifier_(notifier), log_(log) {}

StationInstruments::~StationInstruments() = default;

void StationInstruments::load() {
    instruments_.clear();
    if (settings_)
        for (const QString& label : profiles::labels(*settings_)) {
            config::Config config;
            QStringList invalid;
            if (!profiles::load(*settings_, label, config, &invalid))
                log_.append(
                    eventLine(QDateTime::currentDateTime(),
                              QStringLiteral("[%1] Invalid stored settings replaced by their defaults: %2")
                                  .arg(label, invalid.join(QStringLiteral(", "))),
                              LogStyle::Important));
            make(config);
        }
    emit changed(-1);
}

void StationInstruments::make(const config::Config& config) {
    auto instrument = std::make_unique<Instrument>(config, log_);
    Instrument* i = instrument.get();
    i->saved = config;
    // Each takes its own request key, if it has one; the desktop refuses a key taken twice.
    i->run = assembleRun(i->config, services_, notifier_, i->log, {.consumers = {&i->last}});
    RunController& run = i->run->controller();
    run.setTypingHeld(typingHeld_);
    if (lock_)
        run.watchLock(*lock_);
    const auto changedHere = [this, i] { emit changed(indexOf(i)); };
    connect(&run, &RunController::connectedChanged, this, changedHere);
    connect(&run, &RunController::openingChanged, this, changedHere);
    connect(&run, &RunController::runEnded, this, [this, i](const QString& reason) {
        i->endReason = reason;
        emit changed(indexOf(i));
    });
    connect(&i->last, &LastReading::changed, this, changedHere);
    instruments_.push_back(std::move(instrument));
}

int StationInstruments::indexOf(const Instrument* instrument) const {
    for (std::size_t i = 0; i < instruments_.size(); ++i)
        if (instruments_[i].get() == instrument)
            return int(i);
    return -1;
}

StationInstruments::State StationInstruments::state(int i) const {
    const RunController& run = at(i).run->controller();
    if (run.isOpening())
        return State::Opening;
    if (run.isConnected())
        return State::Reading;
    return at(i).endReason.isEmpty() ? State::Stopped : State::Ended;
}

QString StationInstruments::stateText(int i) const {
    switch (state(i)) {
    case State::Opening:
        return QStringLiteral("waiting for its port");
    case State::Reading:
        return QStringLiteral("reading");
    case State::Ended:
        return at(i).endReason;
    case State::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

QString StationInstruments::add(const QString& label, const QString& port, const QStringList& takenLabels,
                                const QStringList& takenPorts) {
    if (const QString why = profiles::labelProblem(label, takenLabels + labels()); !why.isEmpty())
        return why;
    if (port.isEmpty())
        return QStringLiteral("An instrument needs a port");
    if ((takenPorts + ports()).contains(port))
        return QStringLiteral("Another instrument reads %1: one port serves one instrument").arg(port);
    config::Config config = config::Config::defaultsOf(config::ConfigHelper::Instrument::getDefault());
    config.setInstrument(config::ConfigHelper::Instrument::getDefault());
    config.setPort(port);
    config.label = label;
    if (settings_) {
        std::ostringstream console;
        profiles::save(*settings_, config, console);
        if (!console.str().empty())
            return QString::fromStdString(console.str());
    }
    make(config);
    emit changed(-1);
    return {};
}

QString StationInstruments::rename(int i, const QString& label, const QStringList& takenLabels) {
    Instrument& instrument = *instruments_.at(std::size_t(i));
    if (state(i) == State::Reading || state(i) == State::Opening)
        return QStringLiteral("Stop %1 first").arg(instrument.config.instrumentName());
    QStringList others = labels();
    others.removeAt(i);
    if (const QString why = profiles::labelProblem(label, takenLabels + others); !why.isEmpty())
        return why;
    if (settings_) {
        std::ostringstream console;
        try {
            profiles::rename(*settings_, instrument.config.label, label, console);
        } catch (const std::exception& e) {
            return QString::fromStdString(e.what());
        }
    }
    // Its log names it from the first line on: a new run, in the same place.
    config::Config config = instrument.config;
    config.label = label;
    instruments_.erase(instruments_.begin() + i);
    make(config);
    std::rotate(instruments_.begin() + i, instruments_.end() - 1, instruments_.end());
    if (services_.round) { // a round asks them in the station's order
        std::vector<Run*> runs;
        for (const auto& other : instruments_)
            runs.push_back(other->run.get());
        services_.round->arrange(runs);
    }
    emit changed(-1);
    return {};
}

void StationInstruments::remove(int i) {
    Instrument* instrument = instruments_.at(std::size_t(i)).get();
    if (settings_)
        profiles::remove(*settings_, instrument->config.label);
    // A value being typed ends whole first.
    instrument->run->controller().shutdown([this, instrument] {
        // Not inside its own run's call.
        QMetaObject::invokeMethod(
            this,
            [this, instrument] {
                const int at = indexOf(instrument);
                if (at >= 0)
                    instruments_.erase(instruments_.begin() + at);
                emit changed(-1);
            },
            Qt::QueuedConnection);
    });
}

QString StationInstruments::save(int i) {
    Instrument& instrument = *instruments_.at(std::size_t(i));
    if (!settings_ || (!config::configChanged(instrument.config, instrument.saved) &&
                       instrument.config.label == instrument.saved.label))
        return {};
    std::ostringstream console;
    try {
        profiles::save(*settings_, instrument.config, console);
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    instrument.saved = instrument.config;
    return QString::fromStdString(console.str());
}

QString StationInstruments::start(int i, const QStringList& takenPorts) {
    Instrument& instrument = *instruments_.at(std::size_t(i));
    const QString port = instrument.config.getPort();
    QStringList others = ports();
    others.removeAt(i);
    if ((takenPorts + others).contains(port))
        return QStringLiteral("%1 cannot read %2: another instrument of the station reads it. One port "
                              "serves one instrument.")
            .arg(instrument.config.instrumentName(), port);
    instrument.endReason.clear();
    if (!instrument.run->controller().start())
        return QStringLiteral("%1 could not start").arg(instrument.config.instrumentName());
    return {};
}

void StationInstruments::stop(int i) {
    instruments_.at(std::size_t(i))->run->controller().stop();
}

void StationInstruments::request() {
    for (auto& i : instruments_)
        if (i->run->controller().isConnected())
            i->run->requester().request();
}

void StationInstruments::setTypingHeld(bool held) {
    typingHeld_ = held;
    for (auto& i : instruments_)
        i->run->controller().setTypingHeld(held);
}

void StationInstruments::watchLock(const LockWatch& watch) {
    lock_ = &watch;
    for (auto& i : instruments_)
        i->run->controller().watchLock(watch);
}

void StationInstruments::shutdown(std::function<void()> done) {
    auto left = std::make_shared<int>(int(instruments_.size()) + 1);
    auto oneDone = [left, done = std::move(done)] {
        if (--*left == 0)
            done();
    };
    for (auto& i : instruments_)
        i->run->controller().shutdown(oneDone);
    // The last call, queued: `done` never runs inside this one, with or without instruments.
    QMetaObject::invokeMethod(this, oneDone, Qt::QueuedConnection);
}

QString StationInstruments::requestBy(int i) {
    Instrument& instrument = *instruments_.at(std::size_t(i));
    RunController& run = instrument.run->controller();
    if (!run.isConnected())
        return QStringLiteral("%1 is not reading").arg(instrument.config.instrumentName());
    run.shortcutRequested();
    if (instrument.run->requester().request())
        return {};
    return instrument.run->requester().knows(Requester::Command::Data)
               ? QStringLiteral("a request of %1 is still waiting for its answer")
                     .arg(instrument.config.instrumentName())
               : QStringLiteral("the instrument preset of %1 has no request command")
                     .arg(instrument.config.instrumentName());
}

int StationInstruments::indexOfLabel(const QString& label) const {
    for (std::size_t i = 0; i < instruments_.size(); ++i)
        if (instruments_[i]->config.label.compare(label, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QStringList StationInstruments::ports() const {
    QStringList list;
    for (const auto& i : instruments_)
        list.append(i->config.getPort());
    return list;
}

QStringList StationInstruments::labels() const {
    QStringList list;
    for (const auto& i : instruments_)
        list.append(i->config.label);
    return list;
}

} // namespace tarovex
