#include "tarovex/update/ReadRemoteUpdate.h"

#include "tarovex/update/VersionCompare.h"

namespace tarovex::update {
namespace {

QString elementName(const char* tag, const QString& language) {
    return language.isEmpty() ? QString::fromLatin1(tag) : QString::fromLatin1(tag) + u'_' + language;
}

} // namespace

ReadRemoteUpdate::ReadRemoteUpdate(QString location, QString content, QString localVersion,
                                   const QString& language)
    : location_(std::move(location)), content_(std::move(content)), localVersion_(std::move(localVersion)) {
    remoteVersion_ = elementText(content_, elementName(kVersionTag, language));
    const QString date = elementText(content_, elementName(kDateTag, language));
    if (!date.isEmpty()) {
        const QDate parsed = QDate::fromString(date, QStringLiteral("yyyyMMdd"));
        if (parsed.isValid() && date.size() == 8)
            remoteReleaseDate_ = parsed;
    }
}

bool ReadRemoteUpdate::isNewer() const {
    return isNewerVersion(remoteVersion_, localVersion_);
}

QString ReadRemoteUpdate::elementText(const QString& content, const QString& name) {
    const QString open = u'<' + name + u'>';
    const QString close = QStringLiteral("</") + name + u'>';
    const qsizetype start = content.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype from = start + open.size();
    const qsizetype end = content.indexOf(close);
    return end < from ? QString() : content.mid(from, end - from);
}

} // namespace tarovex::update
