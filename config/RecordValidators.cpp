#include "config/RecordValidators.h"

#include "config/NumberText.h"

#include <QUrl>

namespace tarovex::config::ConfigHelper {
namespace {

bool intInRange(const QString& text, int low, int high) noexcept {
    if (text.isEmpty())
        return true;
    const auto value = NumberText::parseInt(text);
    return value && *value >= low && *value <= high;
}

// C0 and C1 controls, DEL, lone surrogates and the non-characters U+FFFE and U+FFFF: what
// the broker's library refuses in a topic or a name.
bool hasControl(const QString& text) noexcept {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF)
            return true;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        else if (QChar::isSurrogate(c))
            return true;
    }
    return false;
}

} // namespace

bool JournalDays::isValid(const QString& text) noexcept {
    return intInRange(text, 1, 3650);
}

bool JournalMaxMB::isValid(const QString& text) noexcept {
    return intInRange(text, 1, 1000000);
}

bool Station::isValid(const QString& text) noexcept {
    return text.size() <= 64 && !hasControl(text) && !text.contains(u'/') && !text.contains(u'+') &&
           !text.contains(u'#');
}

bool PlainText::isValid(const QString& text) noexcept {
    return !hasControl(text);
}

bool MqttBroker::isValid(const QString& text) noexcept {
    if (text.isEmpty())
        return true;
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"mqtt" || url.scheme() == u"mqtts") && !url.host().isEmpty() &&
           url.port() > 0 && url.path().isEmpty() && url.userInfo().isEmpty() && !url.hasQuery();
}

bool MqttTopic::isValid(const QString& text) noexcept {
    // A topic of its own for each station; an empty one cannot be published to.
    return !text.isEmpty() && text.toUtf8().size() <= 65535 && !hasControl(text) && !text.contains(u'+') &&
           !text.contains(u'#');
}

} // namespace tarovex::config::ConfigHelper
