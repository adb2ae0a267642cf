#include "tarovex/settings/SettingsForm.h"

#include "config/JavaRegex.h"
#include "config/NumberText.h"
#include "config/RecordValidators.h"
#include "config/SettingsTable.h"

namespace tarovex {

namespace CH = config::ConfigHelper;

std::optional<QString> fieldError(const QString& key, const QString& text) {
    const config::Setting* s = config::findSetting(key);
    if (!s || !*s->errorKey || s->valid(s->typed(text)))
        return std::nullopt;
    return QString::fromLatin1(s->errorKey);
}

QString fieldResetText(const QString& key) {
    const config::Setting* s = config::findSetting(key);
    return s ? s->defaultText : QString();
}

QString storedFieldText(const QString& key, const QString& text) {
    const config::Setting* s = config::findSetting(key);
    return s ? s->typed(text) : text;
}

std::optional<int> parseInputTerminator(const QString& text) {
    for (const CH::InputTerminator& t : CH::InputTerminator::values())
        if (text == t.toString())
            return t.getValue();
    const auto code = config::NumberText::parseInt(text.trimmed());
    if (code && CH::InputTerminator::isValidValue(*code))
        return *code;
    return std::nullopt;
}

QString inputTerminatorText(int code) {
    if (const auto named = CH::InputTerminator::fromValue(code))
        return named->toString();
    return QString::number(code);
}

std::optional<QString> ignoreDialogError(const QString& timeLimit, const QString& difference) {
    if (CH::IgnoreTimeLimit::isValid(timeLimit) &&
        CH::IgnoreDifference::isValid(ignoreDifferenceText(difference)))
        return std::nullopt;
    return QStringLiteral("ignore.error");
}

QString ignoreDifferenceText(const QString& difference) {
    return QString(difference).replace(u',', u'.');
}

std::optional<QString> customRegExError(const QString& expression) {
    if (CH::CustomRegEx::isValid(expression))
        return std::nullopt;
    return QStringLiteral("invalid.expression");
}

std::optional<QString> customRegExProblem(const QString& expression) {
    if (!customRegExError(expression))
        return std::nullopt;
    QString why = QStringLiteral("It has no group in parentheses for the value.");
    try {
        config::JavaRegex::compile(expression);
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
    }
    return why;
}

bool storeField(const QString& key, const QString& text, config::Config& c) {
    const config::Setting* s = config::findSetting(key);
    if (!s || !*s->errorKey || fieldError(key, text))
        return false;
    s->parse(c, s->typed(text));
    return true;
}

bool asksToOverwriteCustomRegEx(const config::Config& config, const CH::Instrument& chosen) {
    return !config.getCustomRegEx().isEmpty() && config.getInstrument() != chosen;
}

TabValues tabValuesFrom(const config::Config& c) {
    TabValues t;
    t.port = c.getPort();
    t.instrument = c.getInstrument();
    t.bitRate = c.getBitRate();
    t.dataBits = c.getDataBits();
    t.stopBits = c.getStopBits();
    t.parity = c.getParity();
    t.inputTerminator = inputTerminatorText(c.getInputTerminator());
    t.autoConnect = c.getConnect() == CH::Connect::AUTO;
    t.keyboardType = c.getKeyboardType();
    t.delay = c.getDelay();
    t.decimalSeparator = c.getDecimalSeparator();
    t.startWith = c.getStartWith();
    t.outputTerminator = c.getOutputTerminator();
    t.outputTerminator2 = c.getOutputTerminator2();
    t.roundingMethod = c.getRoundingMethod();
    t.mathOperation = c.getMathOperation();
    t.sound = c.getSound();
    t.editOperation = c.getEditOperation();
    t.editPosition = c.getEditPosition();
    t.everyXValues = c.getEveryXValues();
    t.mathOperand = c.getMathOperand();
    t.decimalPlaces = c.getDecimalPlaces();
    t.editNumCharacters = c.getEditNumCharacters();
    t.removeCharacters = c.getRemoveCharacters();
    t.ignoreDuplicates = c.ignoreDuplicates;
    t.reconnect = c.reconnect;
    t.minimizeToTray = c.minimizeToTray;
    t.notifyWhenMinimizedToTray = c.notifyWhenMinimizedToTray;
    t.checkForUpdates = c.checkForUpdates;
    t.abortAutoStart = c.abortAutoStartWhenPrevPortNotAvailable;
    t.journal = c.record.journal;
    t.journalDays = c.record.journalDays;
    t.journalMaxMB = c.record.journalMaxMB;
    t.station = c.record.station;
    t.csvFile = c.record.csvFile;
    t.requestHotkey = c.getRequestHotkey();
    t.requestCommand = c.getRequestCommand();
    t.requestInterval = c.getRequestInterval();
    t.stableOnly = c.stableOnly;
    t.stableRegEx = c.getStableRegEx();
    return t;
}

TabsUpdate updateConfigFromTabs(const TabValues& controls, config::Config& c, bool closing,
                                bool roundingDialogOpen) {
    TabsUpdate out{controls, {}, false};
    TabValues& t = out.controls;
    const auto notify = [&](Notice::Kind kind, const char* title, const QString& message) {
        if (!closing)
            out.notices.append({kind, QString::fromLatin1(title), message});
    };
    // A field that fails its check is reset, and the reset text is what gets stored.
    const auto checked = [&](const char* field, QString& text) {
        if (const auto error = fieldError(field, text)) {
            notify(Notice::Kind::Error, "error", *error);
            text = fieldResetText(field);
        }
        return storedFieldText(field, text);
    };

    if (!t.port.isEmpty())
        c.setPort(t.port);
    if (t.instrument)
        c.setInstrument(t.instrument);
    c.setBitRate(t.bitRate);
    c.setDataBits(t.dataBits);
    c.setStopBits(t.stopBits);
    c.setParity(t.parity);
    if (const auto code = parseInputTerminator(t.inputTerminator)) {
        c.setInputTerminator(*code);
    } else {
        notify(Notice::Kind::Error, "error", QStringLiteral("terminator.must.be.between.0.and.255"));
        t.inputTerminator = inputTerminatorText(c.getInputTerminator());
    }
    c.setConnect(t.autoConnect ? CH::Connect::AUTO : CH::Connect::MANUAL);

    c.setKeyboardType(t.keyboardType);
    // The delay about to be stored decides, not the one stored before, so that typing 2 with
    // ALL is corrected at once.
    const QString delayText = CH::Delay::isValid(t.delay) ? t.delay : c.getDelay();
    config::Config probe;
    probe.setDelay(delayText);
    if (t.keyboardType == CH::KeyboardType::ALL && probe.getDelayAsInt() < 3) {
        notify(Notice::Kind::Info, "info", QStringLiteral("info.delay.keyboard.all"));
        t.delay = QStringLiteral("3");
    }
    c.setDelay(checked("delay", t.delay));

    c.setDecimalSeparator(t.decimalSeparator);
    c.setStartWith(t.startWith);
    c.setOutputTerminator(t.outputTerminator);
    c.setOutputTerminator2(t.outputTerminator2);
    c.setRoundingMethod(t.roundingMethod);
    c.setSound(t.sound);
    c.setEditOperation(t.editOperation);
    c.setEditPosition(t.editPosition);
    c.setEveryXValues(checked("everyXValues", t.everyXValues));
    c.setDecimalPlaces(checked("decimalPlaces", t.decimalPlaces));
    c.setEditNumCharacters(checked("editNumCharacters", t.editNumCharacters));
    c.setRemoveCharacters(checked("removeCharacters", t.removeCharacters));
    c.setMathOperand(checked("mathOperand", t.mathOperand));
    if (t.mathOperation != CH::MathOperation::NONE && c.getMathOperand().isEmpty())
        t.mathOperation = CH::MathOperation::NONE;
    c.setMathOperation(t.mathOperation);
    if (t.mathOperation == CH::MathOperation::DIVIDE && c.getDecimalPlaces().isEmpty() &&
        !roundingDialogOpen && !closing)
        out.roundingDialog = true;

    c.ignoreDuplicates = t.ignoreDuplicates;
    c.reconnect = t.reconnect;
    c.minimizeToTray = t.minimizeToTray;
    c.notifyWhenMinimizedToTray = t.notifyWhenMinimizedToTray;
    c.checkForUpdates = t.checkForUpdates;
    c.abortAutoStartWhenPrevPortNotAvailable = t.abortAutoStart;
    c.record.journal = t.journal;
    c.record.journalDays = checked("journalDays", t.journalDays);
    c.record.journalMaxMB = checked("journalMaxMB", t.journalMaxMB);
    c.record.station = checked("station", t.station);
    c.record.csvFile = checked("csvFile", t.csvFile);
    c.setRequestHotkey(checked("requestHotkey", t.requestHotkey));
    c.setRequestCommand(checked("requestCommand", t.requestCommand));
    c.setRequestInterval(checked("requestInterval", t.requestInterval));
    c.stableOnly = t.stableOnly;
    c.setStableRegEx(checked("stableRegEx", t.stableRegEx));
    return out;
}

} // namespace tarovex
