#pragma once

#include "tarovex/prefs/Preferences.h"
#include "tarovex/prefs/SharedFile.h"

#include <QMap>

#include <memory>
#include <optional>

namespace tarovex::prefs {

// The preferences store on one properties file shared by every node (and, in the
// shared-settings mode, by every user of the computer). The property key of an entry is the
// node's prefix plus the key: "/com/lumbrix/tarovex" has the prefix "com.lumbrix.tarovex.",
// so its "port" is the property "com.lumbrix.tarovex.port". A property belongs to a node when
// the rest after the prefix has no dot; "com.lumbrix.tarovex.sub.x" is the entry "x" of the
// child "sub". Keys holding a dot therefore cannot be stored and are refused.
//
// Every put and remove is written at once. A write changes only this node's entries that
// changed since the last write (other nodes, other programs' entries and lines that do not
// parse stay), under the file's lock (see SharedFile).
class FilePreferences : public Preferences {
public:
    // A root over the file at `path`; the file need not exist yet.
    static std::unique_ptr<Preferences> createRoot(const QString& path);
    static std::unique_ptr<Preferences> createRoot(std::shared_ptr<SharedFile> file);

    // The property prefix of this node ("" for the root).
    QString prefix() const;

    // A dot would make the key an entry of a child node.
    bool isValidKey(const QString& key) const override { return !key.contains(u'.'); }
    QStringList keys() const override;
    void flush() override;
    void sync() override;

protected:
    std::optional<QString> getValue(const QString& key) const override;
    void putValue(const QString& key, const QString& value) override;
    void removeValue(const QString& key) override;
    QStringList storedChildrenNames() const override;
    std::unique_ptr<Preferences> createChild(const QString& name) override;

private:
    FilePreferences(Preferences* parent, const QString& name, std::shared_ptr<SharedFile> file);
    // This node's entries among the properties of the file.
    QMap<QString, QString> ownEntries(const QMap<QString, QString>& properties) const;

    std::shared_ptr<SharedFile> m_file;
    QMap<QString, QString> m_root;                   // own entries as last read or written
    QMap<QString, std::optional<QString>> m_pending; // changes not yet written (nothing = removed)
};

} // namespace tarovex::prefs
