#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarovex::config {

class Config;

// How a setting is held and read back from its stored text.
enum class SettingType {
    Switch,  // "true"/"false" in any case; any other text reads as the default and is no error
    Integer, // a strict decimal int; a text that is none reads as the default and is no error
    Choice,  // a constant's name (case-sensitive), one of `choices`
    Text,    // the text itself, checked by the setting's validator
};

// One user setting: everything the store, the transfer, the console and the window need to
// know of it. The port and the previous port are not rows: they load by the port list's
// rules, not by a check of their own.
struct Setting {
    const char* key;
    SettingType type;
    // What a store without the key yields (not always what a new Config holds: a first run
    // starts with the tray options off).
    QString defaultText;
    // Whether a stored text passes the setting's check.
    bool (*valid)(const QString& text);
    // The stored text of the setting's value in `config`. An empty Choice (no instrument
    // yet) is not stored.
    QString (*format)(const Config& config);
    // Sets the value from a text that passed `valid`.
    void (*parse)(Config& config, const QString& text);
    // How a text typed into the window becomes the stored text (',' as point, blanks
    // around a key combination).
    QString (*typed)(const QString& text);
    // The shell bundle's key of the control's label; empty when the window shows none.
    const char* labelKey;
    // The shell bundle's key of the message for a typed text that fails the check; empty
    // for settings the window does not take as typed text.
    const char* errorKey;
    // Choice: the constant names in ordinal order, which the window lists by index.
    QStringList choices;
    // Where the setting goes in the save order (lower first; equal ranks keep table order).
    int saveRank;
    // The values it takes, for people (the console's messages and --list-keys).
    QString values;
    // Choice, and Integer for an index: what the window's list shows for each, in order.
    QStringList choiceTexts = {};
    // Shown by a control of the window's tabs (rather than in a dialog or nowhere).
    bool onTabs = false;
    // The shell bundle's keys of the control's tooltip, placeholder and the unit after it;
    // empty for none.
    const char* tipKey = "";
    const char* placeholderKey = "";
    const char* unitKey = "";
    // Why a text fails the check, in a sentence that points into it ("Column 7: ..."); null
    // when the check says no more than yes or no.
    QString (*problem)(const QString& text) = nullptr;

    // Reads `stored` (the default text when the store has none) into `config`. False when it
    // failed its check: the default is in place then.
    bool load(Config& config, const QString& stored) const;
};

// Every setting, in load order.
const QList<Setting>& settingsTable();
// The row of `key`, or nullptr.
const Setting* findSetting(const QString& key);
// The rows in the order a save writes them.
QList<const Setting*> settingsInSaveOrder();

// Sets one setting from its stored text as a load would, but refuses (false, `config`
// unchanged) a key that is no row, a text that fails the check and a text that does not
// read back as itself ("abc" as a bit rate would quietly become the default).
bool applySetting(Config& config, const QString& key, const QString& text);

// Why `text` is refused for `key`, when the row can say more than that it is; else empty.
QString settingProblem(const QString& key, const QString& text);

// True when any row differs between the two records.
bool settingsDiffer(const Config& a, const Config& b);
// True when the port or any row differs; the previous port is left out.
bool configChanged(const Config& a, const Config& b);

// The network ports used lately as stored: separated by spaces, which no address holds.
inline constexpr int maxRecentAddresses = 5;
QString addressListText(const QStringList& addresses);
// Nothing when one of them is not a network port, one comes twice, or there are more than
// the limit.
std::optional<QStringList> parseAddressList(const QString& text);

} // namespace tarovex::config
