#include "tarovex/prefs/FilePreferences.h"

#include "config/Properties.h"
#include "tarovex/prefs/PreferencesErrors.h"

#include <QDateTime>
#include <QLoggingCategory>

#include <stdexcept>

namespace tarovex::prefs {
namespace {

Q_LOGGING_CATEGORY(lcFilePreferences, "tarovex.prefs.FilePreferences")

using config::Properties;

// Later duplicates win, as when the file is loaded the usual way.
// A rewrite drops malformed entries for good, so only then are they worth a warning.
QMap<QString, QString> parseProperties(const QString& path, const std::optional<QByteArray>& bytes,
                                       bool rewriting = false) {
    QMap<QString, QString> map;
    if (!bytes)
        return map;
    const Properties::ParseResult parsed = Properties::parse(*bytes);
    for (const QString& error : parsed.errors) {
        if (rewriting)
            qCWarning(lcFilePreferences).noquote() << "Dropped a malformed entry of" << path << "at" << error;
        else
            qCDebug(lcFilePreferences).noquote() << "Skipped a malformed entry of" << path << "at" << error;
    }
    for (const Properties::Entry& e : parsed.entries)
        map.insert(e.first, e.second);
    return map;
}

QByteArray writeProperties(const QMap<QString, QString>& map) {
    QList<Properties::Entry> entries;
    entries.reserve(map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        entries.append({it.key(), it.value()});
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), "ddd MMM dd HH:mm:ss t yyyy");
    return Properties::write(entries, QStringLiteral("FilePreferences\n") + stamp);
}

} // namespace

FilePreferences::FilePreferences(Preferences* parent, const QString& name, std::shared_ptr<SharedFile> file)
    : Preferences(parent, name), m_file(std::move(file)) {}

std::unique_ptr<Preferences> FilePreferences::createRoot(const QString& path) {
    std::unique_ptr<FilePreferences> root(
        new FilePreferences(nullptr, QString(), std::make_shared<SharedFile>(path)));
    try {
        root->sync();
    } catch (const std::exception& e) {
        qCWarning(lcFilePreferences).noquote()
            << "Unable to sync on creation of node" << root->name() << "-" << e.what();
    }
    return root;
}

std::unique_ptr<Preferences> FilePreferences::createChild(const QString& name) {
    qCDebug(lcFilePreferences).noquote() << "Instantiating node" << name;
    std::unique_ptr<FilePreferences> child(new FilePreferences(this, name, m_file));
    try {
        child->sync();
    } catch (const std::exception& e) {
        qCWarning(lcFilePreferences).noquote()
            << "Unable to sync on creation of node" << name << "-" << e.what();
    }
    return child;
}

QString FilePreferences::prefix() const {
    if (parent() == nullptr)
        return QString();
    return static_cast<const FilePreferences*>(parent())->prefix() + name() + u'.';
}

QMap<QString, QString> FilePreferences::ownEntries(const QMap<QString, QString>& properties) const {
    const QString p = prefix();
    QMap<QString, QString> own;
    for (auto it = properties.lowerBound(p); it != properties.cend() && it.key().startsWith(p); ++it) {
        const QStringView rest = QStringView(it.key()).mid(p.size());
        if (!rest.contains(u'.'))
            own.insert(rest.toString(), it.value());
    }
    return own;
}

std::optional<QString> FilePreferences::getValue(const QString& key) const {
    const auto it = m_root.constFind(key);
    if (it == m_root.cend())
        return std::nullopt;
    return *it;
}

void FilePreferences::putValue(const QString& key, const QString& value) {
    m_root.insert(key, value);
    m_pending.insert(key, value);
    try {
        flush();
    } catch (const std::exception& e) {
        qCWarning(lcFilePreferences).noquote() << "Unable to flush after putting" << key << "-" << e.what();
    }
}

void FilePreferences::removeValue(const QString& key) {
    m_root.remove(key);
    m_pending.insert(key, std::nullopt);
    try {
        flush();
    } catch (const std::exception& e) {
        qCWarning(lcFilePreferences).noquote() << "Unable to flush after removing" << key << "-" << e.what();
    }
}

QStringList FilePreferences::keys() const {
    return m_root.keys();
}

QStringList FilePreferences::storedChildrenNames() const {
    QStringList names;
    try {
        const QMap<QString, QString> properties = parseProperties(m_file->path(), m_file->read());
        const QString p = prefix();
        for (auto it = properties.lowerBound(p); it != properties.cend() && it.key().startsWith(p); ++it) {
            const QStringView rest = QStringView(it.key()).mid(p.size());
            const qsizetype dot = rest.indexOf(u'.');
            if (dot > 0 && !names.contains(rest.left(dot)))
                names.append(rest.left(dot).toString());
        }
    } catch (const std::exception& e) {
        qCWarning(lcFilePreferences).noquote()
            << "Unable to list the children of" << absolutePath() << "-" << e.what();
    }
    return names;
}

void FilePreferences::flush() {
    if (m_pending.isEmpty())
        return;
    const QString p = prefix();
    QMap<QString, QString> newRoot;
    m_file->update([&](const std::optional<QByteArray>& current) {
        QMap<QString, QString> properties = parseProperties(m_file->path(), current, true);
        for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
            if (it.value())
                properties.insert(p + it.key(), *it.value());
            else
                properties.remove(p + it.key());
        }
        newRoot = ownEntries(properties);
        return writeProperties(properties);
    });
    m_pending.clear();
    m_root = newRoot;
}

void FilePreferences::sync() {
    const std::optional<QByteArray> bytes = m_file->read();
    if (!bytes)
        return;
    QMap<QString, QString> fresh = ownEntries(parseProperties(m_file->path(), bytes));
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value())
            fresh.insert(it.key(), *it.value());
        else
            fresh.remove(it.key());
    }
    m_root = fresh;
}

} // namespace tarovex::prefs
