#include "hid/ScaleLines.h"

namespace tarovex::hid {

QString lineOf(const std::variant<ScaleWeight, ScaleCondition>& decoded) {
    if (const auto* w = std::get_if<ScaleWeight>(&decoded)) {
        QString line = QLatin1StringView(w->stable() ? "ST," : "US,");
        if (!w->value.startsWith(u'-'))
            line += u'+';
        line += w->value;
        if (!w->unit.isEmpty())
            line += u' ' + w->unit;
        return line;
    }
    const auto& c = std::get<ScaleCondition>(decoded);
    // A digit in the text would be taken for a value.
    const bool hasDigit = std::any_of(c.text.begin(), c.text.end(), [](QChar ch) { return ch.isDigit(); });
    return QStringLiteral("ER,") +
           (hasDigit ? QStringLiteral("The scale reports a state this program does not know") : c.text);
}

std::string ScaleLines::take(std::span<const std::uint8_t> report) {
    const auto decoded = layout_.decode(report);
    if (!decoded)
        return {};
    if (first_) {
        first_ = false;
        return {};
    }
    std::string line = lineOf(*decoded).toStdString() + "\r";
    if (line == last_ && !everyReport_)
        return {};
    last_ = line;
    return line;
}

} // namespace tarovex::hid
