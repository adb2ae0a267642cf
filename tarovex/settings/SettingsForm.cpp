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
    for (const config::Setting& s : config::settingsTable())
        if (s.onTabs)
            t[QString::fromLatin1(s.key)] = s.format(c);
    t["inputTerminator"] = inputTerminatorText(c.getInputTerminator());
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
    const auto checked = [&](const QString& key, QString& text) {
        if (const auto error = fieldError(key, text)) {
            notify(Notice::Kind::Error, "error", *error);
            text = fieldResetText(key);
        }
        return storedFieldText(key, text);
    };

    if (!t.port.isEmpty())
        c.setPort(t.port);
    for (const config::Setting& s : config::settingsTable()) {
        const QString key = QString::fromLatin1(s.key);
        if (!s.onTabs || !t.settings.contains(key) || key == u"mathOperation")
            continue; // the operation after its operand and the decimal places
        QString& value = t[key];
        if (key == u"inputTerminator") {
            if (const auto code = parseInputTerminator(value)) {
                c.setInputTerminator(*code);
            } else {
                notify(Notice::Kind::Error, "error", QStringLiteral("terminator.must.be.between.0.and.255"));
                value = inputTerminatorText(c.getInputTerminator());
            }
            continue;
        }
        if (key == u"delay") {
            // The delay about to be stored decides, not the one stored before, so that typing
            // 2 with ALL is corrected at once.
            const QString delayText = CH::Delay::isValid(value) ? value : c.getDelay();
            config::Config probe;
            probe.setDelay(delayText);
            if (t["keyboardType"] == CH::KeyboardType::ALL.name() && probe.getDelayAsInt() < 3) {
                notify(Notice::Kind::Info, "info", QStringLiteral("info.delay.keyboard.all"));
                value = QStringLiteral("3");
            }
        }
        if (*s.errorKey)
            s.parse(c, checked(key, value));
        else if (!value.isEmpty() && s.valid(value)) // no instrument chosen: none stored
            s.parse(c, value);
    }
    if (t.settings.contains(QStringLiteral("mathOperation"))) {
        auto operation = CH::MathOperation::find(t["mathOperation"]).value_or(CH::MathOperation::NONE);
        if (operation != CH::MathOperation::NONE && c.getMathOperand().isEmpty())
            operation = CH::MathOperation::NONE;
        t["mathOperation"] = operation.name();
        c.setMathOperation(operation);
        if (operation == CH::MathOperation::DIVIDE && c.getDecimalPlaces().isEmpty() && !roundingDialogOpen &&
            !closing)
            out.roundingDialog = true;
    }
    return out;
}

} // namespace tarovex
