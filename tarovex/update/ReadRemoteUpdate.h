#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace tarovex::update {

// The published version file, parsed. Only two elements matter; they are found by their
// tags as plain text (no XML parser), so anything else in the file is ignored.
class ReadRemoteUpdate {
public:
    static constexpr const char* kVersionTag = "version2";
    static constexpr const char* kDateTag = "date";

    // `content` is the whole file; `language` selects the elements "version2_en" and
    // "date_en" (the bare tags when it is empty).
    ReadRemoteUpdate(QString location, QString content, QString localVersion, const QString& language);

    const QString& location() const { return location_; }
    const QString& content() const { return content_; }
    const QString& localVersion() const { return localVersion_; }
    // Empty when the element is missing.
    const QString& remoteVersion() const { return remoteVersion_; }
    const std::optional<QDate>& remoteReleaseDate() const { return remoteReleaseDate_; }
    bool isNewer() const;

    // The text between the first "<name>" and the first "</name>"; empty when either is
    // missing or the closing tag comes first.
    static QString elementText(const QString& content, const QString& name);

private:
    QString location_;
    QString content_;
    QString localVersion_;
    QString remoteVersion_;
    std::optional<QDate> remoteReleaseDate_;
};

} // namespace tarovex::update
