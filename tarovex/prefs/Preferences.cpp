#include "tarovex/prefs/Preferences.h"

#include <stdexcept>

namespace tarovex::prefs {

Preferences::Preferences(Preferences* parent, const QString& name) : m_parent(parent), m_name(name) {}

Preferences::~Preferences() = default;

QString Preferences::absolutePath() const {
    if (m_parent == nullptr)
        return QStringLiteral("/");
    const QString parentPath = m_parent->absolutePath();
    return (parentPath == u"/" ? parentPath : parentPath + u'/') + m_name;
}

Preferences* Preferences::node(const QString& path) {
    Preferences* start = this;
    QStringView rest(path);
    if (rest.startsWith(u'/')) {
        while (start->m_parent != nullptr)
            start = start->m_parent;
        rest = rest.mid(1);
    }
    if (rest.isEmpty())
        return start;
    if (rest.endsWith(u'/'))
        throw std::invalid_argument("Node path ends with a slash: " + path.toStdString());
    Preferences* current = start;
    for (const QStringView part : rest.split(u'/')) {
        if (part.isEmpty())
            throw std::invalid_argument("Empty node name in path: " + path.toStdString());
        current = current->child(part.toString());
    }
    return current;
}

Preferences* Preferences::child(const QString& name) {
    auto it = m_children.find(name);
    if (it == m_children.end())
        it = m_children.emplace(name, createChild(name)).first;
    return it->second.get();
}

QStringList Preferences::childrenNames() const {
    QStringList names = storedChildrenNames();
    for (const auto& [childName, node] : m_children)
        if (!names.contains(childName))
            names.append(childName);
    names.sort();
    return names;
}

void Preferences::put(const QString& key, const QString& value) {
    if (!isValidKey(key))
        throw std::invalid_argument("Preference key not allowed in this store: \"" + key.toStdString() +
                                    "\"");
    putValue(key, value);
}

QString Preferences::get(const QString& key, const QString& def) const {
    return getValue(key).value_or(def);
}

int Preferences::getInt(const QString& key, int def) const {
    const std::optional<QString> text = getValue(key);
    if (!text)
        return def;
    bool ok = false;
    // Strict decimal int32 with an optional sign, no blanks, as the stored form is written.
    const QString t = *text;
    if (t.isEmpty() || t.front().isSpace() || t.back().isSpace())
        return def;
    const int value = t.toInt(&ok, 10);
    return ok ? value : def;
}

bool Preferences::getBoolean(const QString& key, bool def) const {
    const std::optional<QString> text = getValue(key);
    if (!text)
        return def;
    if (text->compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (text->compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    return def;
}

QMap<QString, QString> Preferences::entries() const {
    QMap<QString, QString> map;
    for (const QString& key : keys())
        if (const std::optional<QString> v = getValue(key))
            map.insert(key, *v);
    return map;
}

} // namespace tarovex::prefs
