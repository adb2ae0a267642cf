// The window's station: its instruments in the Start tab's table, the one whose settings the
// tabs show, and starting, stopping and asking them.
#include "tarovex/ui/RazezaRoZurFrame2.h"

#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/ControlBindings.h"
#include "tarovex/ui/SettingsDialogs.h"
#include "tarovex/ui/InstrumentDialog.h"
#include "tarovex/ui/InstrumentsPanel.h"
#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/TrayIcon.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

namespace tarovex::ui {

int RazezaRoZurFrame2::editedFurther() const {
    for (int i = 0; edited_ && i < instruments_->count(); ++i)
        if (&instruments_->at(i) == edited_)
            return i;
    return -1;
}

config::Config& RazezaRoZurFrame2::editedConfig() {
    const int i = editedFurther();
    return i < 0 ? session_.config() : instruments_->settingsOf(i);
}

void RazezaRoZurFrame2::editInstrument(int row) {
    const StationInstruments::Instrument* chosen =
        row > 0 && row <= instruments_->count() ? &instruments_->at(row - 1) : nullptr;
    if (chosen == edited_)
        return;
    // What the tabs show is kept for the instrument they showed.
    if (tabs_->indexOf(tabPages_[int(TabId::Input)]) >= 0) {
        updateConfigFromTabs();
        autosave();
    }
    edited_ = chosen;
    showEditedSettings();
    showSettingsTabs();
}

void RazezaRoZurFrame2::showEditedSettings() {
    const config::Config& c = editedConfig();
    TabValues values = tabValuesFrom(c);
    if (editedFurther() >= 0) {
        const TabValues station = tabValuesFrom(session_.config());
        for (const QString& key : stationKeys_)
            values[key] = station[key];
    }
    showControls(controls_, values);
    showTemplateChoices();
    if (c.getInstrument())
        decimalSeparatorBox()->setInstrumentType(c.getInstrument()->getInstrumentType().name());
    showEditedName();
}

void RazezaRoZurFrame2::saveEditedFurther() {
    if (const int i = editedFurther(); i >= 0)
        if (const QString why = instruments_->save(i); !why.isEmpty())
            run_->logImportantEvent(text("autosave.error") + why);
}

void RazezaRoZurFrame2::showEditedName() {
    // Only a station of several needs telling whose settings these are.
    const int i = editedFurther();
    const QString name = i < 0 ? session_.config().instrumentName() : instruments_->at(i).config.instrumentName();
    for (QLabel* l : editedNames_) {
        l->setText(QStringLiteral("Settings of %1, the instrument selected on the Start tab").arg(name));
        l->setVisible(instruments_->count() > 0);
    }
}

void RazezaRoZurFrame2::showSettingsTabs() {
    struct Ops : TabOps {
        RazezaRoZurFrame2* w;
        explicit Ops(RazezaRoZurFrame2* f) : w(f) {}
        void removeTab(int i) override { w->tabs_->removeTab(i); }
        void insertTab(int i, TabId t) override {
            w->tabs_->insertTab(i, w->tabPages_[int(t)], w->tabTitles_[int(t)]);
        }
    } ops(this);
    const int i = editedFurther();
    const bool reading = i < 0 ? isConnected() : instruments_->state(i) == StationInstruments::State::Reading;
    const bool showing = tabs_->indexOf(tabPages_[int(TabId::Input)]) >= 0;
    if (reading == showing) // tabs still in place while it reads, or gone while it does not
        switchTabs(reading, ops);
}

QString RazezaRoZurFrame2::requestReading(const QString& label) {
    const bool first =
        label.isEmpty() || label.compare(session_.config().instrumentName(), Qt::CaseInsensitive) == 0;
    const int further = label.isEmpty() || first ? -1 : instruments_->indexOfLabel(label);
    if (!first && further < 0)
        return QStringLiteral("no instrument is labelled %1").arg(label);
    // One instrument's value alone would not be typed: it is no row.
    if (!label.isEmpty() && station_->rounds())
        return QStringLiteral("rounds are on: tarovex --request without a label asks every instrument in turn");
    if (further >= 0) {
        const QString why = instruments_->requestBy(further);
        return why.isEmpty() ? QStringLiteral("ok") : why;
    }
    // No label, with rounds: a round over the station.
    if (Round* round = label.isEmpty() ? station_->rounds() : nullptr) {
        run_->shortcutRequested();
        const QString refused = round->begin();
        return refused.isEmpty() ? QStringLiteral("ok") : refused;
    }
    // The first instrument, and with no label every further one that reads.
    QString why = QStringLiteral("it is not reading");
    bool asked = false;
    if (isConnected()) {
        run_->shortcutRequested();
        asked = station_->requester().request();
        if (!asked)
            why = station_->requester().knows(Requester::Command::Data)
                      ? QStringLiteral("a request is still waiting for its answer")
                      : QStringLiteral("the instrument preset has no request command");
    }
    if (label.isEmpty())
        for (int i = 0; i < instruments_->count(); ++i)
            asked |= instruments_->requestBy(i).isEmpty();
    return asked ? QStringLiteral("ok") : why;
}

// The button starts every instrument when none reads, else stops every one that does.
void RazezaRoZurFrame2::startStop() {
    const bool firstRunning = isConnected() || run_->isOpening();
    const bool starting = !anyInstrumentRunning();
    bool firstMayStart = true;
    if (starting) {
        updateConfigFromTabs();
        config::Config& c = session_.config();
        c.recentAddresses = ports::rememberAddress(c.recentAddresses, c.getPort());
        // Saved, and so journaled, before the run that uses them.
        autosave();
        if (const QString why = firstCannotStart(); !why.isEmpty()) {
            firstMayStart = false;
            notify(Notifier::Kind::Error, text("error"), why);
        }
    }
    if (starting != firstRunning && (firstMayStart || !starting))
        run_->startStop();
    for (int i = 0; i < instruments_->count(); ++i) {
        const auto state = instruments_->state(i);
        const bool running =
            state == StationInstruments::State::Reading || state == StationInstruments::State::Opening;
        if (starting && !running)
            startFurther(i);
        else if (!starting && running)
            instruments_->stop(i);
    }
}

QString RazezaRoZurFrame2::firstCannotStart() const {
    // The Input tab may since have chosen a port another instrument reads.
    const config::Config& c = session_.config();
    const qsizetype other = instruments_->ports().indexOf(c.getPort());
    if (other < 0)
        return {};
    return QStringLiteral("%1 reads %2: one port serves one instrument. Choose another port for %3.")
        .arg(instruments_->at(int(other)).config.instrumentName(), c.getPort(), c.instrumentName());
}

void RazezaRoZurFrame2::startFurther(int i) {
    // The first's port is its own while it reads; a further instrument on it does not start.
    const bool firstReads = isConnected() || run_->isOpening();
    // The record is the station's: its journal, file and publishing as they stand now.
    instruments_->settingsOf(i).record = session_.config().record;
    const QString why =
        instruments_->start(i, firstReads ? QStringList{session_.config().getPort()} : QStringList());
    if (!why.isEmpty())
        notify(Notifier::Kind::Error, text("error"), why);
}

bool RazezaRoZurFrame2::anyInstrumentRunning() const {
    if (isConnected() || run_->isOpening())
        return true;
    for (int i = 0; i < instruments_->count(); ++i)
        if (const auto state = instruments_->state(i);
            state == StationInstruments::State::Reading || state == StationInstruments::State::Opening)
            return true;
    return false;
}

void RazezaRoZurFrame2::showStartStop() {
    const bool running = anyInstrumentRunning();
    controls_.startStop->setText(frameText(running ? "startStopJButton.textStop" : "startStopJButton.text"));
    if (tray_)
        tray_->setRunning(running);
}

QString RazezaRoZurFrame2::firstInstrumentState() const {
    if (run_->isOpening())
        return QStringLiteral("waiting for its port");
    if (isConnected())
        return QStringLiteral("reading");
    return endReason_.isEmpty() ? QStringLiteral("stopped") : endReason_;
}

void RazezaRoZurFrame2::showInstruments() {
    showStartStop();
    if (!controls_.instruments)
        return;
    if (edited_ && editedFurther() < 0) { // removed, or made anew by a rename
        edited_ = nullptr;
        showEditedSettings();
    }
    const config::Config& first = session_.config();
    QList<InstrumentRow> rows{{first.instrumentName(), first.getPort(), firstInstrumentState(),
                               lastReading_->shown().value, isConnected() || run_->isOpening()}};
    for (int i = 0; i < instruments_->count(); ++i) {
        const StationInstruments::Instrument& further = instruments_->at(i);
        const auto state = instruments_->state(i);
        rows.append(
            {further.config.instrumentName(), further.config.getPort(),
             instruments_->stateText(i).section(u'\n', 0, 0), further.last.shown().value,
             state == StationInstruments::State::Reading || state == StationInstruments::State::Opening});
    }
    controls_.instruments->showRows(rows);
    showEditedName();
    showSettingsTabs();
}

void RazezaRoZurFrame2::startStopSelectedInstrument() {
    const int row = controls_.instruments->selectedRow();
    if (row == 0) {
        if (!isConnected() && !run_->isOpening()) {
            updateConfigFromTabs();
            if (const QString why = firstCannotStart(); !why.isEmpty())
                return notify(Notifier::Kind::Error, text("error"), why);
        }
        run_->startStop();
        return;
    }
    const auto state = instruments_->state(row - 1);
    if (state == StationInstruments::State::Reading || state == StationInstruments::State::Opening) {
        instruments_->stop(row - 1);
        return;
    }
    // The tabs show the selected instrument: what they hold is its to read with.
    updateConfigFromTabs();
    saveEditedFurther();
    startFurther(row - 1);
}

void RazezaRoZurFrame2::addInstrument() {
    const config::Config& first = session_.config();
    const QStringList takenLabels{first.instrumentName()};
    QStringList takenPorts{first.getPort(), controls_.port->port()};
    takenPorts.removeAll(QString());
    QList<ports::PortChoice> choices;
    for (int i = 0; i < controls_.port->count(); ++i) {
        const QString name = controls_.port->itemData(i).toString();
        choices.append({name.isEmpty() ? controls_.port->itemText(i) : name, controls_.port->itemText(i)});
    }
    auto* dialog =
        new InstrumentDialog(this, frameText("addInstrumentDialog.title"), QString(), choices,
                             [this, takenLabels, takenPorts](const QString& label, const QString& port) {
                                 return instruments_->add(label, port, takenLabels, takenPorts);
                             });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RazezaRoZurFrame2::renameInstrument() {
    const int row = controls_.instruments->selectedRow();
    if (row == 0)
        return;
    const StationInstruments::Instrument* chosen = &instruments_->at(row - 1);
    const QStringList takenLabels{session_.config().instrumentName()};
    auto* dialog =
        new InstrumentDialog(this, frameText("renameInstrumentButton.text"), chosen->config.label,
                             std::nullopt, [this, chosen, takenLabels](const QString& label, const QString&) {
                                 // Found again: the list may have changed while the dialog was open.
                                 for (int i = 0; i < instruments_->count(); ++i)
                                     if (&instruments_->at(i) == chosen)
                                         return renameFurther(i, label, takenLabels);
                                 return QStringLiteral("That instrument was removed");
                             });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

QString RazezaRoZurFrame2::renameFurther(int i, const QString& label, const QStringList& takenLabels) {
    // The instrument is made anew under its new label, with what the tabs show of it.
    const bool shown = editedFurther() == i;
    if (shown && tabs_->indexOf(tabPages_[int(TabId::Input)]) >= 0)
        updateConfigFromTabs();
    saveEditedFurther();
    const QString why = instruments_->rename(i, label, takenLabels);
    if (why.isEmpty() && shown) {
        edited_ = &instruments_->at(i);
        showEditedSettings();
    }
    return why;
}

void RazezaRoZurFrame2::removeSelectedInstrument() {
    const int row = controls_.instruments->selectedRow();
    if (row <= 0 || !ask(QStringLiteral("Confirm"),
                         QStringLiteral("Remove %1?").arg(instruments_->at(row - 1).config.instrumentName())))
        return;
    if (editedFurther() == row - 1) // the tabs go back to the first
        controls_.instruments->table()->selectRow(0);
    instruments_->remove(row - 1);
}

} // namespace tarovex::ui
