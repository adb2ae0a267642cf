#pragma once

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <stdexcept>

namespace tarovex::config {

// A key or a whole bundle that is not there.
class MissingResourceException : public std::runtime_error {
public:
    MissingResourceException(const QString& message, QString bundle, QString key)
        : std::runtime_error(message.toStdString()), bundle_(std::move(bundle)), key_(std::move(key)) {}
    const QString& bundle() const { return bundle_; }
    const QString& key() const { return key_; }

private:
    QString bundle_;
    QString key_;
};

// Texts looked up by key, loaded from `.properties` files compiled into the binary.
// The base name "tarovex.config.ConfigBundle" is the resource
// ":/tarovex/config/ConfigBundle.properties"; for a locale whose language is not English
// a file "..._<language>.properties" is laid over it when present.
class ResourceBundle {
public:
    // Loaded once per base name and language, then shared. Throws MissingResourceException
    // when the base file is missing. Safe to call from any thread.
    static std::shared_ptr<const ResourceBundle> getBundle(const QString& baseName,
                                                           const QLocale& locale = QLocale(QLocale::English));

    // A bundle from properties text, for texts that do not come from resources.
    static std::shared_ptr<const ResourceBundle> fromText(const QString& baseName, const QByteArray& text);

    const QString& baseName() const { return baseName_; }
    bool containsKey(const QString& key) const { return texts_.contains(key); }
    QStringList keys() const { return texts_.keys(); }

    // The text of a key; throws MissingResourceException when the key is missing.
    QString getString(const QString& key) const;

    // The text of a key with {0}, {1}, ... replaced by the arguments. Quoting as in the
    // usual message format: '' is one quote, text between single quotes is literal.
    QString format(const QString& key, const QStringList& args) const;

    // The keys of the list that this bundle does not have, in list order.
    QStringList missingKeys(const QStringList& keys) const;

    // Entries of the files that could not be read (malformed escapes); they are skipped.
    const QStringList& loadErrors() const { return loadErrors_; }

    // {0}-style formatting of any pattern.
    static QString formatMessage(const QString& pattern, const QStringList& args);

    // printf-style formatting: %s and %d take the next argument, %N$s the N-th,
    // %n is a line feed, %% a percent sign. Unknown conversions are copied as they stand.
    static QString formatPrintf(const QString& pattern, const QVariantList& args);

private:
    ResourceBundle() = default;

    QString baseName_;
    QHash<QString, QString> texts_;
    QStringList loadErrors_;
};

} // namespace tarovex::config
