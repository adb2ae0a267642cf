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

// The file's entries (later duplicates win, as when the file is loaded the usual way) and
// what it could not parse, which a rewrite keeps as it stands: it may belong to another
// program or a newer version.
struct FileContents {
    QMap<QString, QString> properties;
    QStringList rejected;
    bool latin1 = false;
};

FileContents parseProperties(const QString& path, const std::optional<QByteArray>& bytes) {
    FileContents contents;
    if (!bytes)
        return contents;
    Properties::ParseResult parsed = Properties::parse(*bytes);
    for (const QString& error : parsed.errors)
        qCDebug(lcFilePreferences).noquote() << "Skipped a malformed entry of" << path << "at" << error;
    for (const Properties::Entry& e : parsed.entries)
        contents.properties.insert(e.first, e.second);
    contents.rejected = std::move(parsed.rejected);
    contents.latin1 = parsed.latin1;
    return contents;
}

QByteArray writeProperties(const FileContents& contents) {
    QList<Properties::Entry> entries;
    entries.reserve(contents.properties.size());
    for (auto it = contents.properties.cbegin(); it != contents.properties.cend(); ++it)
        entries.append({it.key(), it.value()});
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), "ddd MMM dd HH:mm:ss t yyyy");
    QByteArray out = Properties::write(entries, QStringLiteral("FilePreferences\n") + stamp);
    // The rest is ASCII, so in the file's own encoding these lines stay byte for byte.
    for (const QString& line : contents.rejected)
        out += (contents.latin1 ? line.toLatin1() : line.toUtf8()) + '\n';
    return out;
}

} // namespace

FilePreferences::FilePreferences(Preferences* parent, const QString& name, std::shared_ptr<SharedFile> file)
    : Preferences(parent, name), m_file(std::move(file)) {}

std::unique_ptr<Preferences> FilePreferences::createRoot(const QString& path) {
    return createRoot(std::make_shared<SharedFile>(path));
}

std::unique_ptr<Preferences> FilePreferences::createRoot(std::shared_ptr<SharedFile> file) {
    std::unique_ptr<FilePreferences> root(new FilePreferences(nullptr, QString(), std::move(file)));
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
        const QMap<QString, QString> properties = parseProperties(m_file->path(), m_file->read()).properties;
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
        FileContents contents = parseProperties(m_file->path(), current);
        for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
            if (it.value())
                contents.properties.insert(p + it.key(), *it.value());
            else
                contents.properties.remove(p + it.key());
        }
        newRoot = ownEntries(contents.properties);
        return writeProperties(contents);
    });
    m_pending.clear();
    m_root = newRoot;
}

void FilePreferences::sync() {
    const std::optional<QByteArray> bytes = m_file->read();
    if (!bytes)
        return;
    QMap<QString, QString> fresh = ownEntries(parseProperties(m_file->path(), bytes).properties);
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it.value())
            fresh.insert(it.key(), *it.value());
        else
            fresh.remove(it.key());
    }
    m_root = fresh;
}

} // namespace tarovex::prefs
