#pragma once

#include "config/Config.h"
#include "tarovex/log/MessageLog.h"
#include "tarovex/prefs/Preferences.h"
#include "tarovex/run/LastReading.h"
#include "tarovex/run/MessageLogWriter.h"
#include "tarovex/station/Run.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace tarovex {

// The instruments of a station beyond its first (whose settings and run the window keeps as
// it always did): each with its stored profile, its own run, its last reading and a log that
// names it. They share the services given, and with them the one keyboard. UI thread.
class StationInstruments : public QObject {
    Q_OBJECT

public:
    enum class State { Stopped, Opening, Reading, Ended };

    struct Instrument {
        Instrument(const config::Config& config, MessageLog& log)
            : config(config), log(log, config.instrumentName()) {}
        config::Config config;
        config::Config saved; // as last stored
        MessageLogWriter log;
        LastReading last;
        std::unique_ptr<Run> run; // after the parts it calls
        QString endReason;        // why its last run ended by itself
    };

    // `settings`: the store of the profiles; none: they are neither loaded nor saved.
    StationInstruments(prefs::Preferences* settings, RunServices services, Notifier& notifier,
                       MessageLog& log);
    ~StationInstruments() override;

    // Makes the stored instruments (stopping and dropping any there were).
    void load();
    int count() const { return int(instruments_.size()); }
    const Instrument& at(int i) const { return *instruments_.at(std::size_t(i)); }
    State state(int i) const;
    // The state for a list: "reading", "waiting for its port", "stopped", or why it ended.
    QString stateText(int i) const;

    // Adds and saves an instrument on that port; why not, when it cannot be (a label that
    // cannot name it or is taken, a port another instrument reads: `taken` are the labels
    // and ports of instruments kept elsewhere, the window's first).
    QString add(const QString& label, const QString& port, const QStringList& takenLabels,
                const QStringList& takenPorts);
    // Gives the instrument another label; why not, when it cannot have it.
    QString rename(int i, const QString& label, const QStringList& takenLabels);
    // Stops the instrument and forgets its profile.
    void remove(int i);
    // The settings of one, to edit while it is stopped (a run reads them at its start).
    config::Config& settingsOf(int i) { return instruments_.at(std::size_t(i))->config; }
    // Stores its settings when they changed since they were last stored; why not, when the
    // store failed.
    QString save(int i);
    // Begins the reading of one; why not, when it cannot begin: its port is another's
    // (`takenPorts`: those of instruments kept elsewhere, the window's first), or the run
    // cannot start.
    QString start(int i, const QStringList& takenPorts = {});
    void stop(int i);
    // Asks every running instrument for a reading.
    void request();
    // Asks one for a reading, as a desktop shortcut does; why not, empty when asked.
    QString requestBy(int i);
    // The instrument of that label (without case), or -1.
    int indexOfLabel(const QString& label) const;
    // Values wait while held, as the first instrument's do (our own window has the keyboard).
    void setTypingHeld(bool held);
    // Every instrument, and each one added later, follows the watch (RunController::watchLock);
    // it outlives them.
    void watchLock(const LockWatch& watch);
    // Stops them all; `done` once the values being typed have ended (bounded), never from
    // inside this call.
    void shutdown(std::function<void()> done);
    QStringList ports() const;
    QStringList labels() const;

signals:
    // The instrument's state or its last reading changed, or the list did (i = -1).
    void changed(int i);

private:
    void make(const config::Config& config);
    int indexOf(const Instrument* instrument) const;

    prefs::Preferences* settings_;
    RunServices services_;
    Notifier& notifier_;
    MessageLog& log_;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    bool typingHeld_ = false;
    const LockWatch* lock_ = nullptr;
};

} // namespace tarovex
