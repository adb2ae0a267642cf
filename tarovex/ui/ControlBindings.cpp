#include "tarovex/ui/ControlBindings.h"

#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/SettingsDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <functional>

namespace tarovex::ui {

namespace CH = config::ConfigHelper;

namespace {

// How one kind of control holds one kind of value.
void load(const QComboBox* box, int& v) {
    v = box->currentIndex();
}
void store(QComboBox* box, int v) {
    box->setCurrentIndex(v);
}
// Enumeration boxes list the constants in ordinal order.
template <typename E> void load(const QComboBox* box, E& v) {
    v = E::values().value(std::max(0, box->currentIndex()), E::values().first());
}
template <typename E> void store(QComboBox* box, const E& v) {
    box->setCurrentIndex(v.ordinal());
}
void load(const QComboBox* box, std::optional<CH::Instrument>& v) {
    v = CH::Instrument::values().value(std::max(0, box->currentIndex()), CH::Instrument::getDefault());
}
void store(QComboBox* box, const std::optional<CH::Instrument>& v) {
    box->setCurrentIndex(v ? v->ordinal() : 0);
}
// The editable input terminator box: its text.
void load(const QComboBox* box, QString& v) {
    v = box->currentText();
}
void store(QComboBox* box, const QString& v) {
    box->setCurrentText(v);
}
void load(const PortBox* box, QString& v) {
    v = box->port();
}
void store(PortBox* box, const QString& v) {
    if (!v.isEmpty())
        box->selectPort(v);
}
void load(const QLineEdit* f, QString& v) {
    v = f->text();
}
void store(QLineEdit* f, const QString& v) {
    f->setText(v);
}
void load(const QCheckBox* b, bool& v) {
    v = b->isChecked();
}
// A disabled box is a feature this build or desktop cannot run: it keeps the stored choice,
// greyed, so that saving here does not take it from a desktop (or a shared file's other
// users) that can.
void store(QCheckBox* b, bool v) {
    b->setChecked(v);
}

struct Binding {
    std::function<void(const Controls&, TabValues&)> read;
    std::function<void(Controls&, const TabValues&)> show;
};

template <typename W, typename V> Binding bind(W* Controls::*control, V TabValues::*value) {
    return {[=](const Controls& c, TabValues& t) { load(c.*control, t.*value); },
            [=](Controls& c, const TabValues& t) { store(c.*control, t.*value); }};
}

// Connect mode: two radio buttons of one group hold one switch.
const Binding connectMode{[](const Controls& c, TabValues& t) { t.autoConnect = c.autoConnect->isChecked(); },
                          [](Controls& c, const TabValues& t) {
                              (t.autoConnect ? c.autoConnect : c.manualConnect)->setChecked(true);
                          }};

const std::vector<Binding>& bindings() {
    using C = Controls;
    using T = TabValues;
    static const std::vector<Binding> table = {
        bind(&C::port, &T::port),
        bind(&C::instrument, &T::instrument),
        bind(&C::bitRate, &T::bitRate),
        bind(&C::dataBits, &T::dataBits),
        bind(&C::stopBits, &T::stopBits),
        bind(&C::parity, &T::parity),
        bind(&C::inputTerminator, &T::inputTerminator),
        bind(&C::reconnect, &T::reconnect),
        bind(&C::mathOperation, &T::mathOperation),
        bind(&C::mathOperand, &T::mathOperand),
        bind(&C::decimalPlaces, &T::decimalPlaces),
        bind(&C::roundingMethod, &T::roundingMethod),
        bind(&C::editOperation, &T::editOperation),
        bind(&C::editPosition, &T::editPosition),
        bind(&C::editNumCharacters, &T::editNumCharacters),
        bind(&C::removeCharacters, &T::removeCharacters),
        bind(&C::ignoreDuplicates, &T::ignoreDuplicates),
        bind(&C::decimalSeparator, &T::decimalSeparator),
        bind(&C::startWith, &T::startWith),
        bind(&C::outputTerminator, &T::outputTerminator),
        bind(&C::outputTerminator2, &T::outputTerminator2),
        bind(&C::everyXValues, &T::everyXValues),
        bind(&C::keyboardType, &T::keyboardType),
        bind(&C::delay, &T::delay),
        bind(&C::sound, &T::sound),
        connectMode,
        bind(&C::abortAutoStart, &T::abortAutoStart),
        bind(&C::minimizeToTray, &T::minimizeToTray),
        bind(&C::notifyWhenMinimizedToTray, &T::notifyWhenMinimizedToTray),
        bind(&C::checkForUpdates, &T::checkForUpdates),
        bind(&C::requestHotkey, &T::requestHotkey),
        bind(&C::journal, &T::journal),
        bind(&C::journalDays, &T::journalDays),
        bind(&C::journalMaxMB, &T::journalMaxMB),
        bind(&C::station, &T::station),
        bind(&C::csvFile, &T::csvFile),
        bind(&C::requestCommand, &T::requestCommand),
        bind(&C::requestInterval, &T::requestInterval),
        bind(&C::stableOnly, &T::stableOnly),
        bind(&C::stableRegEx, &T::stableRegEx),
    };
    return table;
}

} // namespace

TabValues readControls(const Controls& controls) {
    TabValues t;
    for (const Binding& b : bindings())
        b.read(controls, t);
    return t;
}

void showControls(Controls& controls, const TabValues& values) {
    for (const Binding& b : bindings())
        b.show(controls, values);
}

} // namespace tarovex::ui
