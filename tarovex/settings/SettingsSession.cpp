#include "tarovex/settings/SettingsSession.h"

#include "config/SettingsTable.h"
#include "tarovex/prefs/ConfigStore.h"

namespace tarovex {

bool SettingsSession::load(const QStringList& ports, QStringList* invalidKeys) {
    return node_ ? prefs::loadConfig(*node_, config_, ports, invalidKeys) : true;
}

bool SettingsSession::saveIfChanged(std::ostream& console) {
    const bool changed = config::configChanged(config_, oldConfig_);
    if (!saveNecessary_ && !changed)
        return false;
    saveNecessary_ = false;
    if (changed)
        acceptChanges();
    save(console);
    return true;
}

void SettingsSession::acceptChanges() {
    if (changed_ && config::configChanged(oldConfig_, config_))
        changed_(oldConfig_, config_);
    keepAsSaved();
}

void SettingsSession::save(std::ostream& console) {
    if (node_)
        prefs::saveConfig(*node_, config_, console);
}

} // namespace tarovex
