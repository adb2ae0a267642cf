#include "config/ConfigHelper.h"
#include "config/Decimal.h"
#include "config/Hotkey.h"
#include "config/InstrumentCommands.h"
#include "config/JavaRegex.h"
#include "config/NumberText.h"

namespace tarovex::config::ConfigHelper {
namespace {

// Empty means "not used"; otherwise an integer in [low, high].
bool isIntInRange(const QString& text, int low, int high) noexcept {
    if (text.isEmpty())
        return true;
    const auto value = NumberText::parseInt(text);
    return value && *value >= low && *value <= high;
}

// Index of the first occurrence of c that is not right after a backslash, or -1.
qsizetype firstUnescaped(const QString& text, QChar c) noexcept {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == c && (i == 0 || text[i - 1] != u'\\'))
            return i;
    return -1;
}

} // namespace

bool MathOperand::isValid(const QString& text) noexcept {
    if (text.isEmpty())
        return true;
    // Only the text "0" is refused: a stored "0.0" stays valid, and a division by it is
    // reported per line.
    if (text == u"0")
        return false;
    // Parsed by the same code that later computes with it, so a text that passes here
    // cannot fail at Start (an exponent beyond the decimal type's bound is refused).
    return Decimal::tryParse(QStringView(text)).has_value();
}

bool DecimalPlaces::isValid(const QString& text) noexcept {
    return isIntInRange(text, 0, 7);
}

bool EveryXValues::isValid(const QString& text) noexcept {
    return isIntInRange(text, 2, 99);
}

bool EditNumCharacters::isValid(const QString& text) noexcept {
    return isIntInRange(text, 1, 99);
}

bool RemoveCharacters::isValid(const QString& text) noexcept {
    for (const QChar c : text)
        if (c.unicode() > 255)
            return false; // also every half of a surrogate pair
    return true;
}

bool Delay::isValid(const QString& text) noexcept {
    return isIntInRange(text, 0, 1000);
}

bool IgnoreTimeLimit::isValid(const QString& text) noexcept {
    if (text.isEmpty())
        return true;
    const auto value = NumberText::parseInt(text);
    return value && *value > 0;
}

bool IgnoreDifference::isValid(const QString& text) noexcept {
    if (text.isEmpty())
        return true;
    const auto value = Decimal::tryParse(QStringView(text));
    return value && value->signum() > 0;
}

bool CustomRegEx::isValid(const QString& text) noexcept {
    if (text.isEmpty())
        return true;
    const qsizetype open = firstUnescaped(text, u'(');
    const qsizetype close = firstUnescaped(text, u')');
    if (open < 0 || close < 0 || open > close)
        return false;
    // An expression without a capturing group ("(?:x)") passes: stored settings keep
    // loading, and each line then reports its missing group.
    return JavaRegex::isValid(text);
}

bool RequestInterval::isValid(const QString& text) noexcept {
    return isIntInRange(text, 0, 86400000);
}

bool RequestHotkey::isValid(const QString& text) noexcept {
    return text.trimmed().isEmpty() || parseHotkey(text).has_value();
}

bool StableRegEx::isValid(const QString& text) noexcept {
    return text.isEmpty() || JavaRegex::isValid(text);
}

bool RequestCommand::isValid(const QString& text) noexcept {
    return parseCommandText(text).has_value();
}

} // namespace tarovex::config::ConfigHelper
