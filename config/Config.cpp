#include "config/Config.h"

#include "config/NumberText.h"

#include <algorithm>
#include <tuple>

namespace tarovex::config {

using namespace ConfigHelper;

Config::Config(QString port, std::optional<Instrument> instrument, int bitRate, int dataBits, int stopBits,
               int parity, int inputTerminator, Connect connect, KeyboardType keyboardType, QString delay,
               DecimalSeparator decimalSeparator, StartWith startWith, OutputTerminator outputTerminator,
               OutputTerminator outputTerminator2, QString everyXValues, MathOperation mathOperation,
               QString mathOperand, QString decimalPlaces, RoundingMethod roundingMethod, Sound sound,
               bool minimizeToTray, bool notifyWhenMinimizedToTray, bool checkForUpdates,
               bool abortAutoStartWhenPrevPortNotAvailable, EditOperation editOperation,
               EditPosition editPosition, QString editNumCharacters, QString removeCharacters,
               QString customRegEx, bool ignoreDuplicates, QString ignoreTimeLimit, QString ignoreDifference)
    : minimizeToTray(minimizeToTray), notifyWhenMinimizedToTray(notifyWhenMinimizedToTray),
      checkForUpdates(checkForUpdates),
      abortAutoStartWhenPrevPortNotAvailable(abortAutoStartWhenPrevPortNotAvailable),
      ignoreDuplicates(ignoreDuplicates), port_(std::move(port)), instrument_(instrument), bitRate_(bitRate),
      dataBits_(dataBits), stopBits_(stopBits), parity_(parity), inputTerminator_(inputTerminator),
      decimalSeparator_(decimalSeparator), startWith_(startWith), outputTerminator_(outputTerminator),
      outputTerminator2_(outputTerminator2), everyXValues_(std::move(everyXValues)), connect_(connect),
      mathOperation_(mathOperation), mathOperand_(std::move(mathOperand)),
      decimalPlaces_(std::move(decimalPlaces)), roundingMethod_(roundingMethod), sound_(sound),
      keyboardType_(keyboardType), delay_(std::move(delay)), editOperation_(editOperation),
      editPosition_(editPosition), editNumCharacters_(std::move(editNumCharacters)),
      removeCharacters_(std::move(removeCharacters)), customRegEx_(std::move(customRegEx)),
      ignoreTimeLimit_(std::move(ignoreTimeLimit)), ignoreDifference_(std::move(ignoreDifference)) {}

Config Config::copyConfig(const Config& o) {
    Config c(o.port_, o.instrument_, o.bitRate_, o.dataBits_, o.stopBits_, o.parity_, o.inputTerminator_,
             o.connect_, o.keyboardType_, o.delay_, o.decimalSeparator_, o.startWith_, o.outputTerminator_,
             o.outputTerminator2_, o.everyXValues_, o.mathOperation_, o.mathOperand_, o.decimalPlaces_,
             o.roundingMethod_, o.sound_, o.minimizeToTray, o.notifyWhenMinimizedToTray, o.checkForUpdates,
             o.abortAutoStartWhenPrevPortNotAvailable, o.editOperation_, o.editPosition_,
             o.editNumCharacters_, o.removeCharacters_, o.customRegEx_, o.ignoreDuplicates,
             o.ignoreTimeLimit_, o.ignoreDifference_);
    c.reconnect = o.reconnect;
    c.requestInterval_ = o.requestInterval_;
    c.requestCommand_ = o.requestCommand_;
    c.requestHotkey_ = o.requestHotkey_;
    c.stableOnly = o.stableOnly;
    c.stableRegEx_ = o.stableRegEx_;
    c.record = o.record;
    c.recentAddresses = o.recentAddresses;
    return c;
}

bool Config::hasChanged(const Config& o) const {
    // Every setting but prevPort and the listeners.
    const auto fields = [](const Config& c) {
        return std::tie(
            c.port_, c.instrument_, c.bitRate_, c.dataBits_, c.stopBits_, c.parity_, c.inputTerminator_,
            c.decimalSeparator_, c.startWith_, c.outputTerminator_, c.outputTerminator2_, c.everyXValues_,
            c.connect_, c.mathOperation_, c.mathOperand_, c.decimalPlaces_, c.roundingMethod_, c.sound_,
            c.keyboardType_, c.delay_, c.editOperation_, c.editPosition_, c.editNumCharacters_,
            c.removeCharacters_, c.customRegEx_, c.ignoreTimeLimit_, c.ignoreDifference_, c.minimizeToTray,
            c.notifyWhenMinimizedToTray, c.checkForUpdates, c.abortAutoStartWhenPrevPortNotAvailable,
            c.ignoreDuplicates, c.reconnect, c.record, c.requestInterval_, c.requestCommand_,
            c.requestHotkey_, c.stableOnly, c.stableRegEx_, c.recentAddresses);
    };
    return fields(*this) != fields(o);
}

std::optional<int> Config::getDecimalPlacesAsInt() const {
    return NumberText::parseInt(decimalPlaces_);
}

int Config::getDelayAsInt() const {
    return NumberText::parseInt(delay_).value_or(20);
}

int Config::getRequestIntervalAsInt() const {
    return std::max(0, NumberText::parseInt(requestInterval_).value_or(0));
}

int Config::getEditNumCharactersAsInt() const {
    return NumberText::parseInt(editNumCharacters_).value_or(0);
}

int Config::getEveryXValuesAsInt() const {
    return NumberText::parseInt(everyXValues_).value_or(0);
}

Decimal Config::getMathOperandAsBigDecimal() const {
    return Decimal::parse(mathOperand_);
}

bool Config::roundingEnabled() const {
    return !decimalPlaces_.isEmpty() && DecimalPlaces::isValid(decimalPlaces_);
}

bool Config::mathOperationEnabled() const {
    if (mathOperation_ == MathOperation::NONE || mathOperand_.isEmpty())
        return false;
    if (mathOperation_ == MathOperation::DIVIDE)
        return roundingEnabled();
    return true;
}

void Config::setInstrument(std::optional<Instrument> instrument) {
    instrument_ = instrument;
    if (!instrument)
        return;
    const PropertyChangeEvent event{instrument->getInstrumentType().name(), std::nullopt, instrument};
    // A listener may unregister itself while being told, so walk a snapshot.
    const auto registrations = listeners_.entries;
    for (const auto& [name, listener] : registrations)
        if (name == event.propertyName)
            listener->propertyChange(event);
}

void Config::addPropertyChangeListener(const QString& propertyName, PropertyChangeListener* listener) {
    if (listener)
        listeners_.entries.append({propertyName, listener});
}

void Config::removePropertyChangeListener(const QString& propertyName, PropertyChangeListener* listener) {
    const qsizetype i = listeners_.entries.indexOf(std::pair{propertyName, listener});
    if (i >= 0)
        listeners_.entries.removeAt(i);
}

} // namespace tarovex::config
