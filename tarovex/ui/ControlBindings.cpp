#include "tarovex/ui/ControlBindings.h"

#include "tarovex/ui/PortBox.h"
#include "tarovex/ui/SettingsDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <functional>
#include <type_traits>

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

// One control bound to one setting, by the setting's key (empty: the port, which is no
// setting of the table).
struct Binding {
    const char* key;
    std::function<void(const Controls&, TabValues&)> read;
    std::function<void(Controls&, const TabValues&)> show;
    // The control when it is a text field, for the focus-out check.
    std::function<QLineEdit*(const Controls&)> field;
};

template <typename W> std::function<QLineEdit*(const Controls&)> fieldOf(W* Controls::*control) {
    if constexpr (std::is_same_v<W, QLineEdit>)
        return [=](const Controls& c) { return c.*control; };
    else
        return [](const Controls&) -> QLineEdit* { return nullptr; };
}

template <typename W, typename V> Binding bind(const char* key, W* Controls::*control, V TabValues::*value) {
    return {key, [=](const Controls& c, TabValues& t) { load(c.*control, t.*value); },
            [=](Controls& c, const TabValues& t) { store(c.*control, t.*value); }, fieldOf(control)};
}

// Connect mode: two radio buttons of one group hold one switch.
const Binding connectMode{"connect",
                          [](const Controls& c, TabValues& t) { t.autoConnect = c.autoConnect->isChecked(); },
                          [](Controls& c, const TabValues& t) {
                              (t.autoConnect ? c.autoConnect : c.manualConnect)->setChecked(true);
                          },
                          [](const Controls&) -> QLineEdit* { return nullptr; }};

const std::vector<Binding>& bindings() {
    using C = Controls;
    using T = TabValues;
    static const std::vector<Binding> table = {
        bind("", &C::port, &T::port),
        bind("instrument", &C::instrument, &T::instrument),
        bind("bitRate", &C::bitRate, &T::bitRate),
        bind("dataBits", &C::dataBits, &T::dataBits),
        bind("stopBits", &C::stopBits, &T::stopBits),
        bind("parity", &C::parity, &T::parity),
        bind("inputTerminator", &C::inputTerminator, &T::inputTerminator),
        bind("reconnect", &C::reconnect, &T::reconnect),
        bind("mathOperation", &C::mathOperation, &T::mathOperation),
        bind("mathOperand", &C::mathOperand, &T::mathOperand),
        bind("decimalPlaces", &C::decimalPlaces, &T::decimalPlaces),
        bind("roundingMethod", &C::roundingMethod, &T::roundingMethod),
        bind("editOperation", &C::editOperation, &T::editOperation),
        bind("editPosition", &C::editPosition, &T::editPosition),
        bind("editNumCharacters", &C::editNumCharacters, &T::editNumCharacters),
        bind("removeCharacters", &C::removeCharacters, &T::removeCharacters),
        bind("ignoreDuplicates", &C::ignoreDuplicates, &T::ignoreDuplicates),
        bind("decimalSeparator", &C::decimalSeparator, &T::decimalSeparator),
        bind("startWith", &C::startWith, &T::startWith),
        bind("outputTerminator", &C::outputTerminator, &T::outputTerminator),
        bind("outputTerminator2", &C::outputTerminator2, &T::outputTerminator2),
        bind("everyXValues", &C::everyXValues, &T::everyXValues),
        bind("keyboardType", &C::keyboardType, &T::keyboardType),
        bind("delay", &C::delay, &T::delay),
        bind("sound", &C::sound, &T::sound),
        connectMode,
        bind("abortAutoStartWhenPrevPortNotAvailable", &C::abortAutoStart, &T::abortAutoStart),
        bind("minimizeToTray", &C::minimizeToTray, &T::minimizeToTray),
        bind("notifyWhenMinimizedToTray", &C::notifyWhenMinimizedToTray, &T::notifyWhenMinimizedToTray),
        bind("checkForUpdates", &C::checkForUpdates, &T::checkForUpdates),
        bind("requestHotkey", &C::requestHotkey, &T::requestHotkey),
        bind("journal", &C::journal, &T::journal),
        bind("journalDays", &C::journalDays, &T::journalDays),
        bind("journalMaxMB", &C::journalMaxMB, &T::journalMaxMB),
        bind("station", &C::station, &T::station),
        bind("csvFile", &C::csvFile, &T::csvFile),
        bind("requestCommand", &C::requestCommand, &T::requestCommand),
        bind("requestInterval", &C::requestInterval, &T::requestInterval),
        bind("stableOnly", &C::stableOnly, &T::stableOnly),
        bind("stableRegEx", &C::stableRegEx, &T::stableRegEx),
    };
    return table;
}

} // namespace

QLineEdit* textField(const Controls& controls, const QString& key) {
    for (const Binding& b : bindings())
        if (key == QLatin1String(b.key))
            return b.field(controls);
    return nullptr;
}

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
