#include "tarovex/prefs/ConfigStore.h"

#include "Tarolink/SystemProperties.h"
#include "config/RecordValidators.h"
#include "tarovex/ports/RecentAddresses.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/SettingsPreferences.h"
#include "tarovex/prefs/SharedFile.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>

namespace tarovex::prefs {
namespace {

Q_LOGGING_CATEGORY(lcConfigStore, "tarovex.prefs.ConfigStore")

using config::Config;
namespace CH = config::ConfigHelper;

// One persistent setting: load returns false when the stored value failed its check (the
// default is then in place); save writes the field.
struct Setting {
    const char* key;
    std::function<bool(const Preferences&, Config&)> load;
    std::function<void(const Config&, Preferences&)> save;
};

// Enumerations stored as the constant's name.
template <typename E, typename Get, typename Set> Setting byName(const char* key, Get get, Set set) {
    return {key,
            [=](const Preferences& p, Config& c) {
                const std::optional<E> value = E::find(p.get(key, E::getDefault().name()));
                std::invoke(set, c, value.value_or(E::getDefault()));
                return value.has_value();
            },
            [=](const Config& c, Preferences& p) { p.put(key, E(std::invoke(get, c)).name()); }};
}

// Integers stored as such, with a range check.
template <typename Get, typename Set>
Setting byInt(const char* key, int def, bool (*check)(int), Get get, Set set) {
    return {key,
            [=](const Preferences& p, Config& c) {
                const int value = p.getInt(key, def);
                const bool ok = check(value);
                std::invoke(set, c, ok ? value : def);
                return ok;
            },
            [=](const Config& c, Preferences& p) { p.putInt(key, std::invoke(get, c)); }};
}

// Texts the user typed, checked by their validator V.
template <typename V, typename Get, typename Set> Setting byText(const char* key, Get get, Set set) {
    return {key,
            [=](const Preferences& p, Config& c) {
                const QString value = p.get(key, V::getDefault());
                const bool ok = V::isValid(value);
                std::invoke(set, c, ok ? value : V::getDefault());
                return ok;
            },
            [=](const Config& c, Preferences& p) { p.put(key, std::invoke(get, c)); }};
}

Setting byBool(const char* key, bool def, bool Config::*field) {
    return {key,
            [=](const Preferences& p, Config& c) {
                c.*field = p.getBoolean(key, def);
                return true;
            },
            [=](const Config& c, Preferences& p) { p.putBoolean(key, c.*field); }};
}

// The record settings live in Config::record.
template <typename V> Setting recordText(const char* key, QString config::RecordSettings::*field) {
    return byText<V>(
        key, [field](const Config& c) { return c.record.*field; },
        [field](Config& c, const QString& v) { c.record.*field = v; });
}

Setting recordBool(const char* key, bool def, bool config::RecordSettings::*field) {
    return {key,
            [=](const Preferences& p, Config& c) {
                c.record.*field = p.getBoolean(key, def);
                return true;
            },
            [=](const Config& c, Preferences& p) { p.putBoolean(key, c.record.*field); }};
}

Setting instrumentSetting() {
    using I = CH::Instrument;
    return {"instrument",
            [](const Preferences& p, Config& c) {
                const std::optional<I> value = I::find(p.get("instrument", I::getDefault().name()));
                c.setInstrument(value.value_or(I::getDefault()));
                return value.has_value();
            },
            [](const Config& c, Preferences& p) {
                if (c.getInstrument()) // a record never loaded may have none: nothing to keep
                    p.put("instrument", c.getInstrument()->name());
            }};
}

// The network ports used lately, as one text.
Setting recentAddressesSetting() {
    return {"recentAddresses",
            [](const Preferences& p, Config& c) {
                const auto value = ports::parseAddresses(p.get("recentAddresses", QString()));
                c.recentAddresses = value.value_or(QStringList());
                return value.has_value();
            },
            [](const Config& c, Preferences& p) {
                p.put("recentAddresses", ports::addressesText(c.recentAddresses));
            }};
}

// Every setting after "port" and "prevPort", in load order. A fresh store yields false for
// the first, second and fourth switch, unlike a new Config: a first run starts with the
// tray options off and the update check on.
const QList<Setting>& settings() {
    static const QList<Setting> table = {
        instrumentSetting(),
        byInt("bitRate", CH::BitRates::getDefault(), &CH::BitRates::isValidIndex, &Config::getBitRate,
              &Config::setBitRate),
        byInt("dataBits", CH::DataBits::getDefault(), &CH::DataBits::isValidIndex, &Config::getDataBits,
              &Config::setDataBits),
        byInt("stopBits", CH::StopBits::getDefault(), &CH::StopBits::isValidIndex, &Config::getStopBits,
              &Config::setStopBits),
        byInt("parity", CH::Parity::getDefault(), &CH::Parity::isValidIndex, &Config::getParity,
              &Config::setParity),
        byName<CH::DecimalSeparator>("decimalSeparator", &Config::getDecimalSeparator,
                                     &Config::setDecimalSeparator),
        byInt("inputTerminator", CH::InputTerminator::getDefault(), &CH::InputTerminator::isValidValue,
              &Config::getInputTerminator, &Config::setInputTerminator),
        byName<CH::StartWith>("startWith", &Config::getStartWith, &Config::setStartWith),
        byName<CH::OutputTerminator>("outputTerminator", &Config::getOutputTerminator,
                                     &Config::setOutputTerminator),
        byName<CH::OutputTerminator>("outputTerminator2", &Config::getOutputTerminator2,
                                     &Config::setOutputTerminator2),
        byText<CH::EveryXValues>("everyXValues", &Config::getEveryXValues, &Config::setEveryXValues),
        byName<CH::Connect>("connect", &Config::getConnect, &Config::setConnect),
        byText<CH::MathOperand>("mathOperand", &Config::getMathOperand, &Config::setMathOperand),
        byName<CH::MathOperation>("mathOperation", &Config::getMathOperation, &Config::setMathOperation),
        byText<CH::DecimalPlaces>("decimalPlaces", &Config::getDecimalPlaces, &Config::setDecimalPlaces),
        byName<CH::RoundingMethod>("roundingMethod", &Config::getRoundingMethod, &Config::setRoundingMethod),
        byName<CH::Sound>("sound", &Config::getSound, &Config::setSound),
        byName<CH::KeyboardType>("keyboardType", &Config::getKeyboardType, &Config::setKeyboardType),
        byText<CH::Delay>("delay", &Config::getDelay, &Config::setDelay),
        byBool("minimizeToTray", false, &Config::minimizeToTray),
        byBool("notifyWhenMinimizedToTray", false, &Config::notifyWhenMinimizedToTray),
        byBool("checkForUpdates", true, &Config::checkForUpdates),
        byBool("abortAutoStartWhenPrevPortNotAvailable", false,
               &Config::abortAutoStartWhenPrevPortNotAvailable),
        byBool("ignoreDuplicates", false, &Config::ignoreDuplicates),
        byBool("reconnect", false, &Config::reconnect),
        byName<CH::EditOperation>("editOperation", &Config::getEditOperation, &Config::setEditOperation),
        byName<CH::EditPosition>("editPosition", &Config::getEditPosition, &Config::setEditPosition),
        byText<CH::EditNumCharacters>("editNumCharacters", &Config::getEditNumCharacters,
                                      &Config::setEditNumCharacters),
        byText<CH::RemoveCharacters>("removeCharacters", &Config::getRemoveCharacters,
                                     &Config::setRemoveCharacters),
        byText<CH::IgnoreTimeLimit>("ignoreTimeLimit", &Config::getIgnoreTimeLimit,
                                    &Config::setIgnoreTimeLimit),
        byText<CH::IgnoreDifference>("ignoreDifference", &Config::getIgnoreDifference,
                                     &Config::setIgnoreDifference),
        byText<CH::CustomRegEx>("customRegEx", &Config::getCustomRegEx, &Config::setCustomRegEx),
        byText<CH::RequestInterval>("requestInterval", &Config::getRequestInterval,
                                    &Config::setRequestInterval),
        byText<CH::RequestCommand>("requestCommand", &Config::getRequestCommand, &Config::setRequestCommand),
        byText<CH::RequestHotkey>("requestHotkey", &Config::getRequestHotkey, &Config::setRequestHotkey),
        byBool("stableOnly", false, &Config::stableOnly),
        byText<CH::StableRegEx>("stableRegEx", &Config::getStableRegEx, &Config::setStableRegEx),
        recordBool("journal", true, &config::RecordSettings::journal),
        recordText<CH::JournalDays>("journalDays", &config::RecordSettings::journalDays),
        recordText<CH::JournalMaxMB>("journalMaxMB", &config::RecordSettings::journalMaxMB),
        recordText<CH::Station>("station", &config::RecordSettings::station),
        recordText<CH::PlainText>("csvFile", &config::RecordSettings::csvFile),
        recordText<CH::MqttBroker>("mqttBroker", &config::RecordSettings::mqttBroker),
        recordText<CH::MqttTopic>("mqttTopic", &config::RecordSettings::mqttTopic),
        recordText<CH::PlainText>("mqttUser", &config::RecordSettings::mqttUser),
        recordText<CH::PlainText>("mqttPasswordFile", &config::RecordSettings::mqttPasswordFile),
        recordText<CH::PlainText>("mqttCaFile", &config::RecordSettings::mqttCaFile),
        recentAddressesSetting(),
    };
    return table;
}

// The same settings in the order saveConfig writes them, which is not the load order
// ("sound" comes right after "decimalSeparator", "customRegEx" before the repeat-filter keys,
// ...). The order shows when a store fails part way: the keys written before it are these.
const QList<const Setting*>& saveOrder() {
    static const QList<const Setting*> order = [] {
        static const char* const keys[] = {"instrument",
                                           "bitRate",
                                           "dataBits",
                                           "stopBits",
                                           "parity",
                                           "inputTerminator",
                                           "decimalSeparator",
                                           "sound",
                                           "startWith",
                                           "outputTerminator",
                                           "outputTerminator2",
                                           "everyXValues",
                                           "connect",
                                           "mathOperation",
                                           "mathOperand",
                                           "decimalPlaces",
                                           "roundingMethod",
                                           "keyboardType",
                                           "delay",
                                           "minimizeToTray",
                                           "notifyWhenMinimizedToTray",
                                           "checkForUpdates",
                                           "abortAutoStartWhenPrevPortNotAvailable",
                                           "ignoreDuplicates",
                                           "reconnect",
                                           "editOperation",
                                           "editPosition",
                                           "editNumCharacters",
                                           "removeCharacters",
                                           "customRegEx",
                                           "ignoreTimeLimit",
                                           "ignoreDifference"};
        QList<const Setting*> list;
        for (const char* key : keys)
            for (const Setting& s : settings())
                if (std::strcmp(s.key, key) == 0)
                    list.append(&s);
        // A setting missing from the list above is still saved, last.
        for (const Setting& s : settings())
            if (!list.contains(&s))
                list.append(&s);
        return list;
    }();
    return order;
}

std::unique_ptr<Preferences> platformRoot;

// A store that holds one entry in memory, for reading a single text through a setting.
class OneEntry : public Preferences {
public:
    OneEntry() : Preferences(nullptr, QString()) {}
    OneEntry(const QString& key, const QString& value) : OneEntry() { m_entries.insert(key, value); }
    bool isValidKey(const QString&) const override { return true; }
    QStringList keys() const override { return m_entries.keys(); }
    void flush() override {}
    void sync() override {}
    QString text(const QString& key) const { return m_entries.value(key); }

protected:
    std::optional<QString> getValue(const QString& key) const override {
        const auto it = m_entries.find(key);
        return it == m_entries.end() ? std::nullopt : std::optional<QString>(*it);
    }
    void putValue(const QString& key, const QString& value) override { m_entries.insert(key, value); }
    void removeValue(const QString& key) override { m_entries.remove(key); }
    QStringList storedChildrenNames() const override { return {}; }
    std::unique_ptr<Preferences> createChild(const QString&) override { return std::make_unique<OneEntry>(); }

private:
    QMap<QString, QString> m_entries;
};

// The typed getters fall back to the default on a text they cannot read ("abc" as a bit
// rate); what the setting writes back then differs from what was given.
bool readsBackAsItself(const QString& given, const QString& written) {
    if (given.compare(written, Qt::CaseInsensitive) == 0)
        return true;
    bool a = false, b = false;
    const int x = given.toInt(&a);
    const int y = written.toInt(&b);
    return a && b && x == y;
}

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
               ports::isNetworkPort(stored)) {
        config.setPort(stored); // a network port needs no local one to be there
    }
    config.setPrevPort(node.get(QStringLiteral("prevPort"), config.getPort()));

    bool allValid = true;
    for (const Setting& s : settings()) {
        if (!s.load(node, config)) {
            allValid = false;
            if (invalidKeys)
                invalidKeys->append(QString::fromLatin1(s.key));
        }
    }
    return allValid;
}

QStringList settingKeys() {
    QStringList keys;
    for (const Setting& s : settings())
        keys.append(QString::fromLatin1(s.key));
    return keys;
}

bool applySetting(Config& config, const QString& key, const QString& text) {
    for (const Setting& s : settings()) {
        if (key != QLatin1String(s.key))
            continue;
        const OneEntry given(key, text);
        Config trial = config;
        if (!s.load(given, trial))
            return false;
        OneEntry written;
        s.save(trial, written);
        if (!readsBackAsItself(text, written.text(key)))
            return false;
        s.load(given, config);
        return true;
    }
    return false;
}

void saveConfig(Preferences& node, const Config& config, std::ostream& console) {
    try {
        if (!config.getPort().isEmpty()) {
            node.put(QStringLiteral("port"), config.getPort());
            node.put(QStringLiteral("prevPort"), config.getPort());
        }
        for (const Setting* s : saveOrder())
            s->save(config, node);
        node.flush();
    } catch (const BackingStoreException& e) {
        console << "saveConfig exception: " << e.what() << std::endl;
    }
}

} // namespace tarovex::prefs
