#include "config/Config.h"

#include "config/NumberText.h"

#include <algorithm>

namespace tarovex::config {

using namespace ConfigHelper;

Config Config::defaultsOf(const ConfigHelper::Instrument& instrument) {
    const ConfigHelper::LineDefaults line = instrument.getLineDefaults();
    Config config;
    config.setBitRate(line.bitRate.ordinal());
    config.setDataBits(line.dataBits.ordinal());
    config.setParity(line.parity.ordinal());
    config.setStopBits(line.stopBits.ordinal());
    config.setInputTerminator(line.inputTerminator);
    return config;
}

Config Config::copyConfig(const Config& o) {
    Config c = o; // the listeners stay behind
    c.prevPort_.reset();
    return c;
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
