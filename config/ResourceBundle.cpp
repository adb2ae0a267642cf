#include "config/ResourceBundle.h"

#include "config/Properties.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace tarovex::config {
namespace {

QString resourcePath(const QString& baseName, const QString& suffix) {
    QString path = baseName;
    path.replace(u'.', u'/');
    return QStringLiteral(":/") + path + suffix + QStringLiteral(".properties");
}

bool readInto(const QString& path, QHash<QString, QString>& texts, QStringList& errors) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const Properties::ParseResult parsed = Properties::parse(file.readAll());
    for (const Properties::Entry& e : parsed.entries)
        texts.insert(e.first, e.second);
    for (const QString& error : parsed.errors)
        errors.append(path + QStringLiteral(": ") + error);
    return true;
}

} // namespace

std::shared_ptr<const ResourceBundle> ResourceBundle::getBundle(const QString& baseName, const QLocale& locale) {
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const ResourceBundle>> cache;

    const QString language = locale.language() == QLocale::English || locale.language() == QLocale::C
                                 ? QString()
                                 : QLocale::languageToCode(locale.language());
    const QString cacheKey = baseName + u'|' + language;
    QMutexLocker lock(&mutex);
    if (auto it = cache.constFind(cacheKey); it != cache.constEnd())
        return *it;

    std::shared_ptr<ResourceBundle> bundle(new ResourceBundle);
    bundle->baseName_ = baseName;
    if (!readInto(resourcePath(baseName, QString()), bundle->texts_, bundle->loadErrors_))
        throw MissingResourceException(QStringLiteral("Can't find bundle for base name %1").arg(baseName),
                                       baseName, QString());
    if (!language.isEmpty())
        readInto(resourcePath(baseName, u'_' + language), bundle->texts_, bundle->loadErrors_);
    cache.insert(cacheKey, bundle);
    return bundle;
}

std::shared_ptr<const ResourceBundle> ResourceBundle::fromText(const QString& baseName, const QByteArray& text) {
    std::shared_ptr<ResourceBundle> bundle(new ResourceBundle);
    bundle->baseName_ = baseName;
    const Properties::ParseResult parsed = Properties::parse(text);
    for (const Properties::Entry& e : parsed.entries)
        bundle->texts_.insert(e.first, e.second);
    bundle->loadErrors_ = parsed.errors;
    return bundle;
}

QString ResourceBundle::getString(const QString& key) const {
    auto it = texts_.constFind(key);
    if (it == texts_.constEnd())
        throw MissingResourceException(
            QStringLiteral("Can't find resource for bundle %1, key %2").arg(baseName_, key), baseName_, key);
    return *it;
}

QString ResourceBundle::format(const QString& key, const QStringList& args) const {
    return formatMessage(getString(key), args);
}

QStringList ResourceBundle::missingKeys(const QStringList& keys) const {
    QStringList missing;
    for (const QString& key : keys)
        if (!texts_.contains(key))
            missing.append(key);
    return missing;
}

QString ResourceBundle::formatMessage(const QString& pattern, const QStringList& args) {
    QString out;
    out.reserve(pattern.size() + 16);
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                out.append(u'\'');
                ++i;
            } else {
                quoted = !quoted;
            }
            continue;
        }
        if (quoted || c != u'{') {
            out.append(c);
            continue;
        }
        const qsizetype close = pattern.indexOf(u'}', i + 1);
        bool ok = false;
        const int index = close < 0 ? -1 : pattern.mid(i + 1, close - i - 1).trimmed().toInt(&ok);
        if (!ok || index < 0) {
            out.append(c); // not a placeholder: keep the brace
            continue;
        }
        // An argument that was not supplied stays visible as its placeholder.
        out.append(index < args.size() ? args[index] : pattern.mid(i, close - i + 1));
        i = close;
    }
    return out;
}

QString ResourceBundle::formatPrintf(const QString& pattern, const QVariantList& args) {
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c != u'%' || i + 1 >= pattern.size()) {
            out.append(c);
            continue;
        }
        qsizetype j = i + 1;
        qsizetype position = -1;
        qsizetype digitsEnd = j;
        while (digitsEnd < pattern.size() && pattern[digitsEnd].isDigit())
            ++digitsEnd;
        if (digitsEnd > j && digitsEnd < pattern.size() && pattern[digitsEnd] == u'$') {
            position = pattern.mid(j, digitsEnd - j).toLongLong() - 1;
            j = digitsEnd + 1;
        }
        if (j >= pattern.size()) {
            out.append(pattern.mid(i));
            break;
        }
        const QChar conv = pattern[j];
        if (conv == u'%' && position < 0) {
            out.append(u'%');
        } else if (conv == u'n' && position < 0) {
            out.append(u'\n');
        } else if (conv == u's' || conv == u'd') {
            const qsizetype index = position >= 0 ? position : next++;
            out.append(index >= 0 && index < args.size() ? args[index].toString() : QStringLiteral("null"));
        } else {
            out.append(pattern.mid(i, j - i + 1));
        }
        i = j;
    }
    return out;
}

} // namespace tarovex::config
