#include "tarovex/prefs/SettingsPreferences.h"

#include "tarovex/prefs/PreferencesErrors.h"

namespace tarovex::prefs {
namespace {

// QSettings has no exceptions; its status after a sync tells what went wrong.
void throwOnError(const QSettings& settings, const char* operation) {
    switch (settings.status()) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw PreferencesAccessException(
            QStringLiteral("%1: access to %2 refused").arg(QLatin1String(operation), settings.fileName()));
    case QSettings::FormatError:
        throw BackingStoreException(QStringLiteral("%1: %2 is not a valid settings file")
                                        .arg(QLatin1String(operation), settings.fileName()));
    }
}

} // namespace

SettingsPreferences::SettingsPreferences(Preferences* parent, const QString& name,
                                         std::shared_ptr<QSettings> settings)
    : Preferences(parent, name), m_settings(std::move(settings)) {}

std::unique_ptr<Preferences> SettingsPreferences::userRoot() {
    return createRoot(std::make_shared<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                  QStringLiteral("Lumbrix"), QStringLiteral("tarovex")));
}

std::unique_ptr<Preferences> SettingsPreferences::createRoot(std::shared_ptr<QSettings> settings) {
    return std::unique_ptr<Preferences>(new SettingsPreferences(nullptr, QString(), std::move(settings)));
}

QString SettingsPreferences::group() const {
    const QString path = absolutePath();
    return path == u"/" ? QString() : path.mid(1);
}

QString SettingsPreferences::fullKey(const QString& key) const {
    const QString g = group();
    return g.isEmpty() ? key : g + u'/' + key;
}

std::optional<QString> SettingsPreferences::getValue(const QString& key) const {
    const QVariant v = m_settings->value(fullKey(key));
    if (!v.isValid())
        return std::nullopt;
    return v.toString();
}

void SettingsPreferences::putValue(const QString& key, const QString& value) {
    m_settings->setValue(fullKey(key), value);
}

void SettingsPreferences::removeValue(const QString& key) {
    m_settings->remove(fullKey(key));
}

QStringList SettingsPreferences::keys() const {
    m_settings->beginGroup(group());
    QStringList list = m_settings->childKeys();
    m_settings->endGroup();
    list.sort();
    return list;
}

QStringList SettingsPreferences::storedChildrenNames() const {
    m_settings->beginGroup(group());
    QStringList list = m_settings->childGroups();
    m_settings->endGroup();
    return list;
}

std::unique_ptr<Preferences> SettingsPreferences::createChild(const QString& name) {
    return std::unique_ptr<Preferences>(new SettingsPreferences(this, name, m_settings));
}

void SettingsPreferences::flush() {
    m_settings->sync();
    throwOnError(*m_settings, "flush");
}

void SettingsPreferences::sync() {
    m_settings->sync();
    throwOnError(*m_settings, "sync");
}

} // namespace tarovex::prefs
