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

bool hasControl(const QString& text) noexcept {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
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
    if (text.isEmpty())
        return true;
    if (text.size() > 64 || !text.front().isLetterOrNumber())
        return false;
    for (const QChar c : text)
        if (!c.isLetterOrNumber() && !c.isMark() && c != u' ' && !QStringView(u"-_.,:").contains(c))
            return false;
    return true;
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
    return !hasControl(text) && !text.contains(u'+') && !text.contains(u'#');
}

} // namespace tarovex::config::ConfigHelper
