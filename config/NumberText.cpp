#include "config/NumberText.h"

#include <climits>
#include <cstdint>

namespace tarovex::config::NumberText {
namespace {

bool isDigit(QChar c) noexcept {
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<int> parseInt(QStringView text) noexcept {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude > std::int64_t(INT_MAX) + 1)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return std::nullopt;
    return int(value);
}

} // namespace tarovex::config::NumberText
