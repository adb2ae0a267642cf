#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>

namespace tarovex::prefs {

// One node of a hierarchical per-user key/value store. Nodes form a tree under a root with
// the empty name; a node's absolute path is "/" followed by the names from the top down
// ("/com/lumbrix/tarovex"). The root owns the tree: node pointers stay valid as long as
// the root lives. Not thread-safe; the settings are used from the user-interface thread.
//
// Failures: put and remove keep the value in memory even when the store cannot be written
// (a backend may write at once and log a failure); flush and sync throw
// BackingStoreException, or PreferencesAccessException when access is refused.
class Preferences {
public:
    virtual ~Preferences();

    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // The node's own name ("" for the root).
    QString name() const { return m_name; }
    // "/" for the root, otherwise "/a/b/c".
    QString absolutePath() const;
    // The parent node, nullptr for the root.
    Preferences* parent() const { return m_parent; }

    // The node at `path`, created when missing: absolute ("/com/lumbrix/tarovex") or
    // relative to this node ("lumbrix/tarovex"). Throws std::invalid_argument on an empty
    // name inside the path ("a//b") or a trailing slash.
    Preferences* node(const QString& path);
    // Names of the child nodes, in the store and in memory.
    QStringList childrenNames() const;

    // The stored text, or `def` when the key is missing.
    QString get(const QString& key, const QString& def) const;
    // The stored integer, or `def` when the key is missing or its text is not a decimal int32.
    int getInt(const QString& key, int def) const;
    // "true"/"false" in any letter case; `def` when missing or anything else.
    bool getBoolean(const QString& key, bool def) const;
    // The stored text or nothing.
    std::optional<QString> value(const QString& key) const { return getValue(key); }

    // Stores a text. Throws std::invalid_argument for a key this store cannot hold.
    void put(const QString& key, const QString& value);
    void putInt(const QString& key, int value) { put(key, QString::number(value)); }
    void putBoolean(const QString& key, bool value) {
        put(key, value ? QStringLiteral("true") : QStringLiteral("false"));
    }
    // False for keys the store cannot hold (such as ones containing its path separator).
    virtual bool isValidKey(const QString& key) const = 0;
    void remove(const QString& key) { removeValue(key); }
    // The node's own keys (not those of child nodes), sorted.
    virtual QStringList keys() const = 0;
    // All own entries, sorted by key.
    QMap<QString, QString> entries() const;

    // Writes this node's changes to the backing store.
    virtual void flush() = 0;
    // Re-reads this node from the backing store (changes not yet flushed are kept).
    virtual void sync() = 0;

protected:
    Preferences(Preferences* parent, const QString& name);

    virtual std::optional<QString> getValue(const QString& key) const = 0;
    virtual void putValue(const QString& key, const QString& value) = 0;
    virtual void removeValue(const QString& key) = 0;
    // Child names the backing store knows of (the in-memory ones are added by the caller).
    virtual QStringList storedChildrenNames() const = 0;
    virtual std::unique_ptr<Preferences> createChild(const QString& name) = 0;

private:
    Preferences* child(const QString& name);

    Preferences* m_parent;
    QString m_name;
    std::map<QString, std::unique_ptr<Preferences>> m_children;
};

} // namespace tarovex::prefs
