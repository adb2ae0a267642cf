#pragma once

#include "config/Config.h"
#include "tarovex/prefs/Preferences.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <iosfwd>
#include <optional>

namespace tarovex {

// The live settings of the window, the copy as last saved and the store they go to.
class SettingsSession {
public:
    explicit SettingsSession(prefs::Preferences* node) : node_(node) {}

    config::Config& config() { return config_; }
    const config::Config& config() const { return config_; }
    const config::Config& oldConfig() const { return oldConfig_; }
    prefs::Preferences* node() const { return node_; }

    // Loads from the store; false when a stored value was invalid (its key is added to
    // `invalidKeys`). Throws PreferencesAccessException (the fields loaded so far stay).
    bool load(const QStringList& ports, QStringList* invalidKeys = nullptr);
    // The current settings become the last saved ones.
    void keepAsSaved() { oldConfig_ = config::Config::copyConfig(config_); }
    // The same for settings the user changed: `changed` (if set) hears them first.
    void acceptChanges();
    // Hears the settings before and after each change the user makes (to journal them).
    using ChangeListener = std::function<void(const config::Config& before, const config::Config& after)>;
    void setChangeListener(ChangeListener changed) { changed_ = std::move(changed); }
    // The next saveIfChanged saves even when nothing changed.
    void requestSave() { saveNecessary_ = true; }

    // Saves when a save was requested or the settings changed since the last save; true
    // when it saved. Store failures go to `console`; PreferencesAccessException is passed on.
    bool saveIfChanged(std::ostream& console);
    // Saves now.
    void save(std::ostream& console);

private:
    prefs::Preferences* node_;
    config::Config config_;
    config::Config oldConfig_;
    bool saveNecessary_ = false;
    ChangeListener changed_;
};

} // namespace tarovex
