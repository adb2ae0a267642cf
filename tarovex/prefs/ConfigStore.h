#pragma once

#include "config/Config.h"
#include "tarovex/prefs/Preferences.h"

#include <QString>
#include <QStringList>

#include <iosfwd>

namespace tarovex::prefs {

// The node that holds this program's settings.
inline constexpr const char* settingsNodePath = "/com/lumbrix/tarovex";
// The system property that selects the shared-settings mode when it is "QV".
inline constexpr const char* editionProperty = "EDITION";

// The machine-wide folder of the shared settings file where "ProgramData" is not set (the
// usual case on Linux); the package creates it writable for the group below.
inline constexpr const char* machineSettingsFolder = "/var/lib/tarovex";
// The group whose members may write the shared settings: every user reads a shared file only
// when it belongs to root, to that user or to a member of this group (see FileTrust.h).
inline constexpr const char* sharedSettingsGroup = "tarovex";

// The shared settings file for "ProgramData" = P: P/Lumbrix/tarovexQV/prefs.txt.
QString sharedSettingsFile(const QString& programData);

// Opens the settings node of this run, created when missing. In the shared-settings mode
// ("EDITION" = "QV") the file store serves all users of the computer: on
// $ProgramData/Lumbrix/tarovexQV/prefs.txt, or without "ProgramData" on prefs.txt in
// `machineFolder`; otherwise the per-user platform store. The store lives for the rest of
// the process; call once, from the user-interface thread, before any other use of the file
// store. Throws PreferencesAccessException when the store refuses access, also when
// `machineFolder` is needed but is not a folder this process may enter. A shared file this
// user may not trust (`trustedGroup` being the group that may write it) is not used: one
// warning says why, and the per-user store serves instead.
Preferences* openSettingsNode(const QString& machineFolder = QString::fromLatin1(machineSettingsFolder),
                              const QString& trustedGroup = QString::fromLatin1(sharedSettingsGroup));

// Forgets the store opened by openSettingsNode (its nodes die with it). For tests.
void closeSettingsNode();

// Loads every setting from `node` into `config`: "port" when `ports` (the current port
// list) is not empty, defaulting to its first name, else only when it is a network port;
// "prevPort" defaulting to the port; then each key of the settings table with its default. A stored value that fails its check is
// replaced by the default and the load goes on; its key is added to `invalidKeys`.
// Returns true when every stored value was accepted. Throws PreferencesAccessException when
// the store refuses access: the load stops there and the fields loaded so far stay.
bool loadConfig(Preferences& node, config::Config& config, const QStringList& ports,
                QStringList* invalidKeys = nullptr);

// Writes every setting of `config` to `node` and flushes it: "port" and "prevPort" first,
// then the other keys in save order ("instrument", "bitRate", ..., "sound" after
// "decimalSeparator", ..., "customRegEx", "ignoreTimeLimit", "ignoreDifference"). A set port
// is also written as "prevPort": the port of this run is the previous port of the next. A failure of the
// store is written to `console` as one line "saveConfig exception: <message>" and the function returns
// normally; a PreferencesAccessException is passed on to the caller.
void saveConfig(Preferences& node, const config::Config& config, std::ostream& console);

// The keys of the settings table that loadConfig reads after "port" and "prevPort", in load
// order ("instrument", "bitRate", ...).
QStringList settingKeys();

// Sets one setting of `config` from its stored text, read and checked as loadConfig reads
// it from a store (serial parameters as their index, enumerations by constant name,
// switches as true/false). Returns false, leaving `config` unchanged, when the key is not
// in the table or the text fails the setting's check or does not read back as itself.
bool applySetting(config::Config& config, const QString& key, const QString& text);

} // namespace tarovex::prefs
