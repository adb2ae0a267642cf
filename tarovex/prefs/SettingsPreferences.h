#pragma once

#include "tarovex/prefs/Preferences.h"

#include <QSettings>

#include <memory>

namespace tarovex::prefs {

// The platform's per-user store on QSettings in its native format (an INI file under the XDG
// config directory on Linux, the registry on Windows). A node is a QSettings group: the node
// "/com/lumbrix/tarovex" keeps its keys in the group "com/lumbrix/tarovex".
class SettingsPreferences : public Preferences {
public:
    // The root of the current user's store of this program.
    static std::unique_ptr<Preferences> userRoot();
    // A root over a given QSettings object (an INI file in tests).
    static std::unique_ptr<Preferences> createRoot(std::shared_ptr<QSettings> settings);

    // QSettings takes both slashes as group separators and has no empty key inside a group.
    bool isValidKey(const QString& key) const override {
        return !key.isEmpty() && !key.contains(u'/') && !key.contains(u'\\');
    }
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
    SettingsPreferences(Preferences* parent, const QString& name, std::shared_ptr<QSettings> settings);
    QString group() const;
    QString fullKey(const QString& key) const;

    std::shared_ptr<QSettings> m_settings;
};

} // namespace tarovex::prefs
