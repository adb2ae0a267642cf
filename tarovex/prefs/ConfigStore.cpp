#include "tarovex/prefs/ConfigStore.h"

#include "tarovex/prefs/EnforcedSettings.h"

#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SystemProperties.h"
#include "config/SettingsTable.h"
#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/SettingsPreferences.h"
#include "tarovex/prefs/SharedFile.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <memory>
#include <ostream>

namespace tarovex::prefs {
namespace {

Q_LOGGING_CATEGORY(lcConfigStore, "tarovex.prefs.ConfigStore")

using config::Config;

std::unique_ptr<Preferences> platformRoot;

// The shared file without ProgramData. A folder that cannot be used is an error: a quiet
// per-user file would split the users' settings.
QString machineSettingsFile(const QString& folder) {
    const QFileInfo info(folder);
    const char* problem = !info.exists()         ? "it does not exist"
                          : !info.isDir()        ? "it is not a folder"
                          : !info.isExecutable() ? "access is denied"
                                                 : nullptr;
    if (problem)
        throw PreferencesAccessException(QStringLiteral("The shared settings folder %1 cannot be used: %2")
                                             .arg(folder, QLatin1String(problem)));
    return folder + QStringLiteral("/prefs.txt");
}

// Whether the shared file may be read by this user; a file that is not there yet may (the
// first save makes it ours). Other failures are the store's to report as before.
bool sharedFileTrusted(const QString& path, const QString& trustedGroup) {
    SharedFile file(path);
    file.requireTrust(trustedGroup);
    try {
        file.read();
    } catch (const UntrustedFileException& e) {
        qCWarning(lcConfigStore).noquote() << "The shared settings are not used:" << e.what()
                                           << "- your own settings are used instead.";
        return false;
    } catch (const std::exception&) {
    }
    return true;
}

} // namespace

QString sharedSettingsFile(const QString& programData) {
    return programData + QStringLiteral("/Lumbrix/tarovexQV/prefs.txt");
}

Preferences* openSettingsNode(const QString& machineFolder, const QString& trustedGroup) {
    Preferences* root = nullptr;
    bool shared = Tarolink::SystemProperties::get(editionProperty, std::string()) == "QV";
    QString file;
    if (shared) {
        const std::string programData = Tarolink::SystemProperties::get("ProgramData", std::string());
        file = programData.empty() ? machineSettingsFile(machineFolder)
                                   : sharedSettingsFile(QString::fromStdString(programData));
        shared = sharedFileTrusted(file, trustedGroup);
    }
    if (shared) {
        Tarolink::SystemProperties::set(FilePreferencesFactory::SYSTEM_PROPERTY_FILE, file.toStdString());
        FilePreferencesFactory::requireTrust(trustedGroup);
        root = FilePreferencesFactory::userRoot();
    } else {
        if (!platformRoot)
            platformRoot = SettingsPreferences::userRoot();
        root = platformRoot.get();
    }
    return root->node(QString::fromLatin1(settingsNodePath));
}

void closeSettingsNode() {
    platformRoot.reset();
    FilePreferencesFactory::reset();
}

bool loadConfig(Preferences& node, Config& config, const QStringList& ports, QStringList* invalidKeys) {
    try {
        node.sync(); // pick up what another program wrote since the store was opened
    } catch (const BackingStoreException& e) {
        qCWarning(lcConfigStore) << "Settings not re-read:" << e.what();
    }
    if (!ports.isEmpty()) {
        config.setPort(node.get(QStringLiteral("port"), ports.first()));
    } else if (const QString stored = node.get(QStringLiteral("port"), QString());
               ports::isNetworkPort(stored) || Tarolink::RoutingDriver::isScaleName(stored.toStdString())) {
        // A network port, or a USB scale that is not plugged in yet, needs no local port there.
        config.setPort(stored);
    }
    config.setPrevPort(node.get(QStringLiteral("prevPort"), config.getPort()));

    bool allValid = true;
    for (const config::Setting& s : config::settingsTable()) {
        const QString key = QString::fromLatin1(s.key);
        if (!s.load(config, node.get(key, s.defaultText))) {
            allValid = false;
            if (invalidKeys)
                invalidKeys->append(key);
        }
    }
    // What the administrator locks wins over every store.
    enforcedSettings().applyTo(config);
    return allValid;
}

QStringList settingKeys() {
    QStringList keys;
    for (const config::Setting& s : config::settingsTable())
        keys.append(QString::fromLatin1(s.key));
    return keys;
}

bool applySetting(Config& config, const QString& key, const QString& text) {
    return config::applySetting(config, key, text);
}

void saveConfig(Preferences& node, const Config& config, std::ostream& console) {
    try {
        if (!config.getPort().isEmpty()) {
            node.put(QStringLiteral("port"), config.getPort());
            node.put(QStringLiteral("prevPort"), config.getPort());
        }
        for (const config::Setting* s : config::settingsInSaveOrder()) {
            const QString text = s->format(config);
            if (s->type == config::SettingType::Choice && text.isEmpty())
                continue; // no instrument yet: nothing to keep
            const QString key = QString::fromLatin1(s->key);
            if (enforcedSettings().locks(key))
                continue; // the administrator's value, not the user's: theirs comes back with the lock gone
            node.put(key, text);
        }
        node.flush();
    } catch (const BackingStoreException& e) {
        console << "saveConfig exception: " << e.what() << std::endl;
    }
}

} // namespace tarovex::prefs
