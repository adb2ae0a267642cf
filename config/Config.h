#pragma once

#include "config/ConfigHelper.h"
#include "config/Decimal.h"
#include "config/Instrument.h"
#include "config/RecordSettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tarovex::config {

// What a listener of Config hears when the instrument is set.
struct PropertyChangeEvent {
    QString propertyName;                             // "NUMBER" or "TEXT"
    std::optional<ConfigHelper::Instrument> oldValue; // always none
    std::optional<ConfigHelper::Instrument> newValue;
};

// A listener of Config's instrument changes; registered by pointer, not owned.
class PropertyChangeListener {
public:
    virtual ~PropertyChangeListener() = default;
    virtual void propertyChange(const PropertyChangeEvent& event) = 0;
};

// The record of every user setting. It validates nothing: setters store what they get, and
// the settings store and the main window check texts with the ConfigHelper validators.
// Not thread-safe: a worker reads it only while the settings cannot be edited.
//
// A copy does not take over the listeners of the original (as copyConfig does not).
class Config {
public:
    // Defaults of a new record: serial fields 0, terminator 0, no instrument, delay "20",
    // the four tray/update/abort options on, ignoreDuplicates off.
    Config() = default;

    // A new record with every setting of the argument but prevPort, and no listeners.
    static Config copyConfig(const Config& other);
    // A new record with the line settings of `instrument`, which the caller may change freely.
    static Config defaultsOf(const ConfigHelper::Instrument& instrument);

    // The decimal places as an integer; none when the text is empty or does not parse.
    std::optional<int> getDecimalPlacesAsInt() const;
    // The delay in milliseconds; 20 when the text is empty or does not parse.
    int getDelayAsInt() const;
    // The edit count; 0 when the text is empty or does not parse.
    int getEditNumCharactersAsInt() const;
    // The every-X count; 0 when the text is empty or does not parse.
    int getEveryXValuesAsInt() const;
    // The math operand as an exact decimal ('.' as point, exponent allowed); throws
    // NumberFormatException when the text is not a decimal number (also when empty).
    Decimal getMathOperandAsBigDecimal() const;

    // True when the decimal places are set to an integer from 0 to 7.
    bool roundingEnabled() const;
    // True when an operation other than NONE and an operand are set; DIVIDE needs rounding
    // too, since a quotient needs a number of decimal places.
    bool mathOperationEnabled() const;

    // Stores the instrument, then tells every listener registered for the name of its type
    // ("NUMBER" or "TEXT") - also when the same instrument is set again. Setting none
    // notifies nobody.
    void setInstrument(std::optional<ConfigHelper::Instrument> instrument);
    std::optional<ConfigHelper::Instrument> getInstrument() const { return instrument_; }

    void addPropertyChangeListener(const QString& propertyName, PropertyChangeListener* listener);
    // Removes one registration of that listener for that name; no effect when there is none.
    void removePropertyChangeListener(const QString& propertyName, PropertyChangeListener* listener);

    const QString& getPort() const { return port_; }
    void setPort(const QString& port) { port_ = port; }
    int getBitRate() const { return bitRate_; }
    void setBitRate(int bitRate) { bitRate_ = bitRate; }
    int getDataBits() const { return dataBits_; }
    void setDataBits(int dataBits) { dataBits_ = dataBits; }
    int getStopBits() const { return stopBits_; }
    void setStopBits(int stopBits) { stopBits_ = stopBits; }
    int getParity() const { return parity_; }
    void setParity(int parity) { parity_ = parity; }
    int getInputTerminator() const { return inputTerminator_; }
    void setInputTerminator(int inputTerminator) { inputTerminator_ = inputTerminator; }
    ConfigHelper::DecimalSeparator getDecimalSeparator() const { return decimalSeparator_; }
    void setDecimalSeparator(ConfigHelper::DecimalSeparator v) { decimalSeparator_ = v; }
    ConfigHelper::StartWith getStartWith() const { return startWith_; }
    void setStartWith(ConfigHelper::StartWith v) { startWith_ = v; }
    ConfigHelper::OutputTerminator getOutputTerminator() const { return outputTerminator_; }
    void setOutputTerminator(ConfigHelper::OutputTerminator v) { outputTerminator_ = v; }
    ConfigHelper::OutputTerminator getOutputTerminator2() const { return outputTerminator2_; }
    void setOutputTerminator2(ConfigHelper::OutputTerminator v) { outputTerminator2_ = v; }
    const QString& getEveryXValues() const { return everyXValues_; }
    void setEveryXValues(const QString& v) { everyXValues_ = v; }
    ConfigHelper::Connect getConnect() const { return connect_; }
    void setConnect(ConfigHelper::Connect v) { connect_ = v; }
    ConfigHelper::MathOperation getMathOperation() const { return mathOperation_; }
    void setMathOperation(ConfigHelper::MathOperation v) { mathOperation_ = v; }
    const QString& getMathOperand() const { return mathOperand_; }
    void setMathOperand(const QString& v) { mathOperand_ = v; }
    const QString& getDecimalPlaces() const { return decimalPlaces_; }
    void setDecimalPlaces(const QString& v) { decimalPlaces_ = v; }
    ConfigHelper::RoundingMethod getRoundingMethod() const { return roundingMethod_; }
    void setRoundingMethod(ConfigHelper::RoundingMethod v) { roundingMethod_ = v; }
    ConfigHelper::Sound getSound() const { return sound_; }
    void setSound(ConfigHelper::Sound v) { sound_ = v; }
    ConfigHelper::KeyboardType getKeyboardType() const { return keyboardType_; }
    void setKeyboardType(ConfigHelper::KeyboardType v) { keyboardType_ = v; }
    const QString& getDelay() const { return delay_; }
    void setDelay(const QString& v) { delay_ = v; }
    // The port of the previous run; none until loaded or set.
    const std::optional<QString>& getPrevPort() const { return prevPort_; }
    void setPrevPort(std::optional<QString> v) { prevPort_ = std::move(v); }
    ConfigHelper::EditOperation getEditOperation() const { return editOperation_; }
    void setEditOperation(ConfigHelper::EditOperation v) { editOperation_ = v; }
    ConfigHelper::EditPosition getEditPosition() const { return editPosition_; }
    void setEditPosition(ConfigHelper::EditPosition v) { editPosition_ = v; }
    const QString& getEditNumCharacters() const { return editNumCharacters_; }
    void setEditNumCharacters(const QString& v) { editNumCharacters_ = v; }
    const QString& getRemoveCharacters() const { return removeCharacters_; }
    void setRemoveCharacters(const QString& v) { removeCharacters_ = v; }
    const QString& getCustomRegEx() const { return customRegEx_; }
    void setCustomRegEx(const QString& v) { customRegEx_ = v; }
    const QString& getIgnoreTimeLimit() const { return ignoreTimeLimit_; }
    void setIgnoreTimeLimit(const QString& v) { ignoreTimeLimit_ = v; }
    const QString& getIgnoreDifference() const { return ignoreDifference_; }
    void setIgnoreDifference(const QString& v) { ignoreDifference_ = v; }
    // Milliseconds between requests for a reading while running; empty or 0: no timer.
    const QString& getRequestInterval() const { return requestInterval_; }
    void setRequestInterval(const QString& v) { requestInterval_ = v; }
    // 0 when the text is empty or does not parse.
    int getRequestIntervalAsInt() const;
    // The user's request command in escape notation; empty: the preset's own.
    const QString& getRequestCommand() const { return requestCommand_; }
    void setRequestCommand(const QString& v) { requestCommand_ = v; }
    // The key combination grabbed on X11 for a request while running ("Ctrl+Alt+R");
    // empty: none.
    const QString& getRequestHotkey() const { return requestHotkey_; }
    void setRequestHotkey(const QString& v) { requestHotkey_ = v; }
    // An expression (Java syntax) that finds something in stable lines only; empty: the
    // preset's own marks.
    const QString& getStableRegEx() const { return stableRegEx_; }
    void setStableRegEx(const QString& v) { stableRegEx_ = v; }
    // An output template: text with fields and keys in braces (see reading::OutputTemplate);
    // empty for none.
    const QString& getOutputTemplate() const { return outputTemplate_; }
    void setOutputTemplate(const QString& v) { outputTemplate_ = v; }
    // Typed, pasted, or pasted when the layout cannot type it; and the keys that paste.
    ConfigHelper::OutputMode getOutputMode() const { return outputMode_; }
    void setOutputMode(ConfigHelper::OutputMode v) { outputMode_ = v; }
    ConfigHelper::PasteKey getPasteKey() const { return pasteKey_; }
    void setPasteKey(ConfigHelper::PasteKey v) { pasteKey_ = v; }

    // The switches, read and written directly.
    bool minimizeToTray = true;
    bool notifyWhenMinimizedToTray = true;
    bool checkForUpdates = true;
    bool abortAutoStartWhenPrevPortNotAvailable = true;
    bool ignoreDuplicates = false;
    // A run whose device vanishes waits for it to come back instead of ending.
    bool reconnect = false;
    // Values of lines the instrument marks unstable are not typed.
    bool stableOnly = false;
    // Typing into a remote desktop viewer or a virtual machine's window: every key paced and
    // released before the next, Shift and AltGr pressed for real, no remapped keycodes.
    bool remoteSession = false;
    // A USB scale's repeated reports each give a line, not each change only.
    bool scaleEveryReport = false;
    // The journal, the live CSV file and the MQTT publishing.
    RecordSettings record;
    // The instrument's name at a station of several, from its stored profile; empty for the
    // station's first instrument, which goes by its port.
    QString label;
    // The label, else the port: what readings, records and the log name the instrument by.
    QString instrumentName() const { return label.isEmpty() ? port_ : label; }
    // The network ports used lately ("tcp://HOST:PORT", ...), the latest first.
    QStringList recentAddresses;

private:
    // Registrations by property name. Copying yields an empty list: listeners belong to the
    // record they registered with.
    class Listeners {
    public:
        Listeners() = default;
        Listeners(const Listeners&) {}
        Listeners& operator=(const Listeners&) { return *this; }
        Listeners(Listeners&&) noexcept = default;
        Listeners& operator=(Listeners&&) noexcept = default;
        QList<std::pair<QString, PropertyChangeListener*>> entries;
    };

    QString port_;
    std::optional<ConfigHelper::Instrument> instrument_;
    int bitRate_ = 0;
    int dataBits_ = 0;
    int stopBits_ = 0;
    int parity_ = 0;
    int inputTerminator_ = 0;
    ConfigHelper::DecimalSeparator decimalSeparator_ = ConfigHelper::DecimalSeparator::DOT;
    ConfigHelper::StartWith startWith_ = ConfigHelper::StartWith::NONE;
    ConfigHelper::OutputTerminator outputTerminator_ = ConfigHelper::OutputTerminator::NONE;
    ConfigHelper::OutputTerminator outputTerminator2_ = ConfigHelper::OutputTerminator::NONE;
    QString everyXValues_;
    ConfigHelper::Connect connect_ = ConfigHelper::Connect::MANUAL;
    ConfigHelper::MathOperation mathOperation_ = ConfigHelper::MathOperation::NONE;
    QString mathOperand_;
    QString decimalPlaces_;
    ConfigHelper::RoundingMethod roundingMethod_ = ConfigHelper::RoundingMethod::HALF_UP;
    ConfigHelper::Sound sound_ = ConfigHelper::Sound::NONE;
    ConfigHelper::KeyboardType keyboardType_ = ConfigHelper::KeyboardType::QUERTY;
    QString delay_ = QStringLiteral("20");
    std::optional<QString> prevPort_;
    ConfigHelper::EditOperation editOperation_ = ConfigHelper::EditOperation::REMOVE;
    ConfigHelper::EditPosition editPosition_ = ConfigHelper::EditPosition::FIRST;
    QString editNumCharacters_;
    QString removeCharacters_;
    QString customRegEx_;
    QString ignoreTimeLimit_;
    QString ignoreDifference_;
    QString requestInterval_;
    QString requestCommand_;
    QString requestHotkey_;
    QString stableRegEx_;
    QString outputTemplate_;
    ConfigHelper::OutputMode outputMode_ = ConfigHelper::OutputMode::TYPE;
    ConfigHelper::PasteKey pasteKey_ = ConfigHelper::PasteKey::CTRL_V;
    Listeners listeners_;
};

} // namespace tarovex::config
