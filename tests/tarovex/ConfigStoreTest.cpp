#include "PrefsTestSupport.h"

#include "Tarolink/SystemProperties.h"
#include "config/Config.h"
#include "config/SettingsTable.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/EnforcedSettings.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/PreferencesXml.h"
#include "tarovex/station/InstrumentProfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarovex::prefs;
using tarovex::config::Config;
namespace CH = tarovex::config::ConfigHelper;
using prefs_test::StoreKind;

namespace {

const QStringList ports{"COM3", "COM4"};

class ConfigStoreTest : public ::testing::TestWithParam<const StoreKind*> {
protected:
    QTemporaryDir dir;
    prefs_test::StoreOpener open = GetParam()->make(dir.path());
    std::unique_ptr<Preferences> root = open();
    Preferences* node = root->node(settingsNodePath);
};

TEST_P(ConfigStoreTest, FirstRunLoadsDefaultsWithoutInvalidReport) {
    Config config;
    QStringList invalid;
    EXPECT_TRUE(loadConfig(*node, config, ports, &invalid));
    EXPECT_TRUE(invalid.isEmpty());
    EXPECT_EQ(config.getPort(), "COM3");
    EXPECT_EQ(config.getPrevPort(), std::optional<QString>("COM3"));
    EXPECT_EQ(config.getInstrument(), CH::Instrument::getDefault());
    EXPECT_EQ(std::vector<int>({config.getBitRate(), config.getDataBits(), config.getStopBits(),
                                config.getParity(), config.getInputTerminator()}),
              std::vector<int>({7, 3, 0, 0, 13}));
    EXPECT_EQ(config.getDelay(), "20");
    EXPECT_EQ(config.getKeyboardType(), CH::KeyboardType::QUERTY);
    EXPECT_EQ(std::vector<bool>({config.minimizeToTray, config.notifyWhenMinimizedToTray,
                                 config.checkForUpdates, config.abortAutoStartWhenPrevPortNotAvailable,
                                 config.ignoreDuplicates, config.reconnect}),
              std::vector<bool>({false, false, true, false, false, false}));
    EXPECT_TRUE(node->keys().isEmpty()) << "a load writes nothing";
}

TEST_P(ConfigStoreTest, StoredValuesAreCheckedOneByOne) {
    struct Row {
        const char* key;
        const char* stored;
        bool valid;
        std::function<bool(const Config&)> holds;
    };
    const Row rows[] = {
        {"bitRate", "15", false, [](const Config& c) { return c.getBitRate() == 7; }},
        {"bitRate", "-1", false, [](const Config& c) { return c.getBitRate() == 7; }},
        {"bitRate", "3", true, [](const Config& c) { return c.getBitRate() == 3; }},
        {"bitRate", "fast", true, [](const Config& c) { return c.getBitRate() == 7; }}, // unparsable: default
        {"parity", "5", false, [](const Config& c) { return c.getParity() == 0; }},
        {"inputTerminator", "256", false, [](const Config& c) { return c.getInputTerminator() == 13; }},
        {"inputTerminator", "0", true, [](const Config& c) { return c.getInputTerminator() == 0; }},
        {"sound", "cowbell", false, [](const Config& c) { return c.getSound() == CH::Sound::NONE; }},
        {"sound", "COWBELL", true, [](const Config& c) { return c.getSound() == CH::Sound::COWBELL; }},
        {"instrument", "sartorius", false,
         [](const Config& c) { return c.getInstrument() == CH::Instrument::getDefault(); }},
        {"instrument", "SARTORIUS", true,
         [](const Config& c) { return c.getInstrument() == CH::Instrument::SARTORIUS; }},
        {"delay", "", true,
         [](const Config& c) { return c.getDelay().isEmpty() && c.getDelayAsInt() == 20; }},
        {"delay", "abc", false, [](const Config& c) { return c.getDelay() == "20"; }},
        {"decimalPlaces", "8", false, [](const Config& c) { return c.getDecimalPlaces().isEmpty(); }},
        {"customRegEx", "(", false, [](const Config& c) { return c.getCustomRegEx().isEmpty(); }},
        {"customRegEx", "(?:\\d+)", true, [](const Config& c) { return c.getCustomRegEx() == "(?:\\d+)"; }},
        {"mathOperand", "0.0", true, [](const Config& c) { return c.getMathOperand() == "0.0"; }},
        {"mathOperand", "0", false, [](const Config& c) { return c.getMathOperand().isEmpty(); }},
        {"keyboardType", "QWERTY", false,
         [](const Config& c) { return c.getKeyboardType() == CH::KeyboardType::QUERTY; }},
        {"checkForUpdates", "no", true, [](const Config& c) { return c.checkForUpdates; }},
        {"minimizeToTray", "TRUE", true, [](const Config& c) { return c.minimizeToTray; }},
        {"journal", "false", true, [](const Config& c) { return !c.record.journal; }},
        {"journalDays", "0", false, [](const Config& c) { return c.record.journalDays == "30"; }},
        {"journalDays", "3650", true, [](const Config& c) { return c.record.journalDaysAsInt() == 3650; }},
        {"station", "line/2", false, [](const Config& c) { return c.record.station.isEmpty(); }},
        {"station", "Wägeplatz 2", true,
         [](const Config& c) { return c.record.stationName() == "Wägeplatz 2"; }},
        {"station", "S1; rm -rf ~", false, [](const Config& c) { return c.record.station.isEmpty(); }},
        {"station", "$(id)", false, [](const Config& c) { return c.record.station.isEmpty(); }},
        {"station", "-rf", false, [](const Config& c) { return c.record.station.isEmpty(); }},
        {"station", "=cmd|' /C calc'!A0", false, [](const Config& c) { return c.record.station.isEmpty(); }},
        {"station", "Line 2, north: A_1.b", true,
         [](const Config& c) { return c.record.station == "Line 2, north: A_1.b"; }},
        {"mqttBroker", "http://h:1", false, [](const Config& c) { return c.record.mqttBroker.isEmpty(); }},
        {"mqttBroker", "mqtt://h", false, [](const Config& c) { return c.record.mqttBroker.isEmpty(); }},
        {"mqttBroker", "mqtts://[::1]:8883", true,
         [](const Config& c) { return c.record.mqttBroker == "mqtts://[::1]:8883"; }},
        {"mqttTopic", "site/#", false,
         [](const Config& c) { return c.record.mqttTopic == "tarovex/{station}/readings"; }},
        // What the broker's library refuses is refused here, not left to fail at every publish.
        {"mqttTopic", "", false,
         [](const Config& c) { return c.record.mqttTopic == "tarovex/{station}/readings"; }},
        {"mqttTopic", "site/\u0085x", false,
         [](const Config& c) { return c.record.mqttTopic == "tarovex/{station}/readings"; }},
        {"mqttTopic", "site/{station}/{label}", true,
         [](const Config& c) { return c.record.mqttTopic == "site/{station}/{label}"; }},
        {"mqttTopic", "Waage/\U0001F600", true,
         [](const Config& c) { return c.record.mqttTopic == "Waage/\U0001F600"; }},
        {"port", "COM9", true,
         [](const Config& c) { return c.getPort() == "COM9" && c.getPrevPort() == "COM9"; }},
        {"recentAddresses", " tcp://h:1  rfc2217://[::1]:2217 ", true,
         [](const Config& c) {
             return c.recentAddresses == QStringList{"tcp://h:1", "rfc2217://[::1]:2217"};
         }},
        {"recentAddresses", "tcp://h:1 /dev/ttyS0", false,
         [](const Config& c) { return c.recentAddresses.isEmpty(); }},
        {"recentAddresses", "tcp://h:1 tcp://h:1", false,
         [](const Config& c) { return c.recentAddresses.isEmpty(); }},
        {"recentAddresses", "tcp://h:99999", false,
         [](const Config& c) { return c.recentAddresses.isEmpty(); }},
        {"recentAddresses", "tcp://a:1 tcp://b:1 tcp://c:1 tcp://d:1 tcp://e:1 tcp://f:1", false,
         [](const Config& c) { return c.recentAddresses.isEmpty(); }},
    };
    for (const Row& r : rows) {
        const QStringList before = node->keys();
        for (const QString& k : before)
            node->remove(k);
        node->put(r.key, r.stored);
        Config config;
        QStringList invalid;
        EXPECT_EQ(loadConfig(*node, config, ports, &invalid), r.valid) << r.key << "=" << r.stored;
        EXPECT_EQ(invalid, r.valid ? QStringList() : QStringList(r.key)) << r.key << "=" << r.stored;
        EXPECT_TRUE(r.holds(config)) << r.key << "=" << r.stored;
    }
}

TEST_P(ConfigStoreTest, SaveThenLoadGivesTheSameSettingsAndPrevPortIsThePort) {
    Config saved;
    saved.setPort("COM4");
    saved.setInstrument(CH::Instrument::KERN_KB_N);
    saved.setBitRate(3);
    saved.setDataBits(2);
    saved.setStopBits(1);
    saved.setParity(2);
    saved.setInputTerminator(10);
    saved.setConnect(CH::Connect::values().last());
    saved.setKeyboardType(CH::KeyboardType::GERMAN);
    saved.setDelay("35");
    saved.setDecimalSeparator(CH::DecimalSeparator::values().last());
    saved.setStartWith(CH::StartWith::values().last());
    saved.setOutputTerminator(CH::OutputTerminator::values().last());
    saved.setOutputTerminator2(CH::OutputTerminator::values().at(1));
    saved.setEveryXValues("3");
    saved.setMathOperation(CH::MathOperation::values().last());
    saved.setMathOperand("2.5");
    saved.setDecimalPlaces("2");
    saved.setRoundingMethod(CH::RoundingMethod::values().last());
    saved.setSound(CH::Sound::COWBELL);
    saved.minimizeToTray = true;
    saved.notifyWhenMinimizedToTray = false;
    saved.checkForUpdates = false;
    saved.abortAutoStartWhenPrevPortNotAvailable = true;
    saved.setEditOperation(CH::EditOperation::values().last());
    saved.setEditPosition(CH::EditPosition::values().last());
    saved.setEditNumCharacters("4");
    saved.setRemoveCharacters("xy");
    saved.setCustomRegEx("^(\\d+)");
    saved.ignoreDuplicates = true;
    saved.setIgnoreTimeLimit("500");
    saved.setIgnoreDifference("0.5");
    saved.setPrevPort(QString("COM1"));
    saved.record = {false,           "7", "20",      "Waage 3",    "~/r/%Y.csv", "mqtts://broker:8883",
                    "lab/{station}", "u", "/etc/pw", "/etc/ca.pem"};
    saved.setRequestInterval("500");
    saved.setRequestCommand("\\eP\\r\\n");
    saved.setRequestHotkey("Ctrl+Alt+R");
    saved.stableOnly = true;
    saved.setStableRegEx("^S S");
    saved.record.round = true;
    saved.recentAddresses = {"rfc2217://moxa-3:4001", "tcp://10.0.0.7:9001"};
    saved.setOutputTemplate("{TAB}{value} {unit};{{x}}{date:yyyy-MM-dd}{ENTER}");
    saved.remoteSession = true;
    saved.setOutputMode(CH::OutputMode::AUTO);
    saved.setPasteKey(CH::PasteKey::CTRL_SHIFT_V);
    std::ostringstream console;
    saveConfig(*node, saved, console);
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(node->get("prevPort", ""), "COM4");

    auto reopened = open();
    Config loaded;
    EXPECT_TRUE(loadConfig(*reopened->node(settingsNodePath), loaded, ports));
    EXPECT_FALSE(configChanged(loaded, saved));
    EXPECT_EQ(loaded.getPrevPort(), std::optional<QString>("COM4"));
    EXPECT_EQ(reopened->node(settingsNodePath)->keys().size(), 56);
}

TEST_P(ConfigStoreTest, WithoutPortsOnlyANetworkPortOrAUsbScaleIsRead) {
    for (const char* port : {"tcp://127.0.0.1:4001", "hid:0922:8003"}) {
        node->put("port", port);
        node->remove("prevPort");
        Config config;
        EXPECT_TRUE(loadConfig(*node, config, {}));
        EXPECT_EQ(config.getPort(), port);
        EXPECT_EQ(config.getPrevPort(), std::optional<QString>(port));
    }
}

TEST_P(ConfigStoreTest, WithoutPortsThePortIsNeitherReadNorWritten) {
    node->put("port", "COM9");
    node->put("prevPort", "COM8");
    Config config;
    config.setPort("kept");
    EXPECT_TRUE(loadConfig(*node, config, {}));
    EXPECT_EQ(config.getPort(), "kept");
    EXPECT_EQ(config.getPrevPort(), std::optional<QString>("COM8"));
    node->remove("prevPort");
    Config fresh;
    EXPECT_TRUE(loadConfig(*node, fresh, {}));
    EXPECT_EQ(fresh.getPort(), "");
    EXPECT_EQ(fresh.getPrevPort(), std::optional<QString>(""));

    std::ostringstream console;
    saveConfig(*node, fresh, console); // an empty port leaves the stored one alone
    EXPECT_EQ(node->get("port", ""), "COM9");
    EXPECT_EQ(node->value("prevPort"), std::nullopt);
}

// A station's further instruments: each profile keeps its own settings and port, in the
// station's order, across a new opening of the store; the first instrument's settings stay
// where they always were; a rename keeps the place and the settings, a removal leaves none.
TEST_P(ConfigStoreTest, InstrumentProfilesKeepTheirOwnSettingsAndOrder) {
    namespace profiles = tarovex::profiles;
    std::ostringstream console;
    Config first;
    first.setPort("COM3");
    first.setDelay("5");
    first.record.station = "Bench4";
    saveConfig(*node, first, console);
    for (const auto& [label, port, delay] :
         {std::tuple{"Caliper", "COM4", "7"}, {"Balance 2", "tcp://lab:4001", "9"}}) {
        Config c;
        c.label = label;
        c.setPort(port);
        c.setDelay(delay);
        profiles::save(*node, c, console);
    }
    EXPECT_THROW(profiles::rename(*node, "Balance 2", "caliper", console), std::invalid_argument);

    root = open();
    node = root->node(settingsNodePath);
    EXPECT_EQ(profiles::labels(*node), (QStringList{"Caliper", "Balance 2"}));
    Config loaded;
    ASSERT_TRUE(profiles::load(*node, "Caliper", loaded));
    EXPECT_EQ(loaded.getPort(), "COM4") << "its own port, never another instrument's";
    EXPECT_EQ(loaded.getDelay(), "7");
    EXPECT_EQ(loaded.instrumentName(), "Caliper");
    EXPECT_EQ(loaded.record.station, "Bench4") << "the station's record settings";
    Config base;
    loadConfig(*node, base, ports);
    EXPECT_EQ(base.getDelay(), "5");
    EXPECT_EQ(base.instrumentName(), "COM3");

    profiles::rename(*node, "Caliper", "Caliper left", console);
    profiles::remove(*node, "Balance 2");
    EXPECT_EQ(profiles::labels(*node), QStringList{"Caliper left"});
    EXPECT_FALSE(profiles::load(*node, "Balance 2", loaded));
    ASSERT_TRUE(profiles::load(*node, "Caliper left", loaded));
    EXPECT_EQ(loaded.getPort(), "COM4");
    EXPECT_EQ(loaded.getDelay(), "7");

    // The export carries the profiles (not the removed one) to another station.
    const QByteArray xml = exportNode(*node);
    EXPECT_FALSE(xml.contains("Balance 2"));
    QTemporaryDir otherDir;
    auto otherRoot = GetParam()->make(otherDir.path())();
    Preferences* other = otherRoot->node(settingsNodePath);
    importPreferences(*other, xml);
    Config imported;
    ASSERT_TRUE(profiles::load(*other, "Caliper left", imported));
    EXPECT_EQ(imported.getDelay(), "7");
}

INSTANTIATE_TEST_SUITE_P(Stores, ConfigStoreTest,
                         ::testing::Values(&prefs_test::settingsStore(), &prefs_test::fileStore()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(InstrumentProfiles, LabelsThatCannotNameAnInstrument) {
    const struct {
        QString label;
        bool ok;
    } rows[] = {{"Balance", true},
                {"Waage Süd 2", true},
                {"", false},
                {" Balance", false},
                {"a/b", false},
                {"a+b", false},
                {"a#b", false},
                {"a,b", false},
                {"a\\b", false},
                {"tab\there", false},
                {QString(65, u'x'), false},
                {QString(64, u'x'), true},
                {"CALIPER", false}};
    for (const auto& r : rows)
        EXPECT_EQ(tarovex::profiles::labelProblem(r.label, {"Caliper"}).isEmpty(), r.ok)
            << r.label.toStdString();
}

// An in-memory node that records the order of the puts and of the flush.
class RecordingNode : public Preferences {
public:
    RecordingNode() : Preferences(nullptr, QString()) {}
    QStringList log;
    bool isValidKey(const QString&) const override { return true; }
    QStringList keys() const override { return m_values.keys(); }
    void flush() override { log.append("<flush>"); }
    void sync() override {}

protected:
    std::optional<QString> getValue(const QString& key) const override {
        return m_values.contains(key) ? std::optional<QString>(m_values.value(key)) : std::nullopt;
    }
    void putValue(const QString& key, const QString& value) override {
        log.append(key);
        m_values.insert(key, value);
    }
    void removeValue(const QString& key) override { m_values.remove(key); }
    QStringList storedChildrenNames() const override { return {}; }
    std::unique_ptr<Preferences> createChild(const QString&) override {
        return std::make_unique<RecordingNode>();
    }

private:
    QMap<QString, QString> m_values;
};

// The settings that came later: saved and loaded after all the others, in this order.
const QStringList kLaterKeys = {
    "requestInterval", "requestCommand",  "requestHotkey",  "stableOnly",    "stableRegEx",
    "journal",         "journalDays",     "journalMaxMB",   "station",       "csvFile",
    "round",           "mqttBroker",      "mqttTopic",      "mqttUser",      "mqttPasswordFile",
    "mqttCaFile",      "recentAddresses", "outputTemplate", "remoteSession", "scaleEveryReport",
    "outputMode",      "pasteKey"};

TEST(ConfigStore, SaveWritesPortsFirstThenTheSaveOrderThenFlushes) {
    RecordingNode node;
    Config config;
    config.setPort("COM3");
    config.setInstrument(CH::Instrument::GENERIC);
    std::ostringstream console;
    saveConfig(node, config, console);
    EXPECT_EQ(node.log, QStringList({"port",
                                     "prevPort",
                                     "instrument",
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
                                     "ignoreDifference"}) +
                            kLaterKeys + QStringList{"<flush>"});
    // The load reads the same keys in the order of the settings table.
    EXPECT_EQ(settingKeys(), QStringList({"instrument",
                                          "bitRate",
                                          "dataBits",
                                          "stopBits",
                                          "parity",
                                          "decimalSeparator",
                                          "inputTerminator",
                                          "startWith",
                                          "outputTerminator",
                                          "outputTerminator2",
                                          "everyXValues",
                                          "connect",
                                          "mathOperand",
                                          "mathOperation",
                                          "decimalPlaces",
                                          "roundingMethod",
                                          "sound",
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
                                          "ignoreTimeLimit",
                                          "ignoreDifference",
                                          "customRegEx"}) +
                                 kLaterKeys);
}

TEST(ConfigStore, StoreFailureOnSaveIsOneConsoleLine) {
    QTemporaryDir dir;
    prefs_test::writeFile(dir.path() + "/plain", "a file where a folder should be\n");
    auto root = FilePreferences::createRoot(dir.path() + "/plain/prefs.txt");
    Config config;
    config.setPort("COM3");
    std::ostringstream console;
    EXPECT_NO_THROW(saveConfig(*root->node(settingsNodePath), config, console));
    const std::string out = console.str();
    EXPECT_EQ(out.rfind("saveConfig exception: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_TRUE(out.find("plain") != std::string::npos) << out;
}

int inUnprivilegedChild(const std::function<int()>& body) {
    return prefs_test::runAs(prefs_test::nobody, body);
}

TEST(ConfigStore, AccessErrorsReachTheCaller) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/prefs.txt";
    prefs_test::writeFile(path, "com.lumbrix.tarovex.bitRate=3\n");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    // Readable but not writable: the load works, the save's access error is passed on.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther));
    EXPECT_EQ(inUnprivilegedChild([&] {
                  auto root = FilePreferences::createRoot(path);
                  Preferences* node = root->node(settingsNodePath);
                  Config config;
                  if (!loadConfig(*node, config, ports) || config.getBitRate() != 3)
                      return 1;
                  std::ostringstream console;
                  try {
                      saveConfig(*node, config, console);
                  } catch (const PreferencesAccessException&) {
                      return console.str().empty() ? 0 : 2;
                  }
                  return 3;
              }),
              0);
    // Not even readable: the load stops with an access error.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::WriteOwner));
    EXPECT_EQ(inUnprivilegedChild([&] {
                  auto root = FilePreferences::createRoot(path);
                  Config config;
                  try {
                      loadConfig(*root->node(settingsNodePath), config, ports);
                  } catch (const PreferencesAccessException&) {
                      return config.getPort().isEmpty() ? 0 : 1;
                  }
                  return 2;
              }),
              0);
}

TEST(ConfigStore, EditionSelectsTheSharedFileElseThePlatformStore) {
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    Tarolink::SystemProperties::set("EDITION", "QV");
    closeSettingsNode();
    Preferences* shared = openSettingsNode();
    EXPECT_EQ(shared->absolutePath(), settingsNodePath);
    Config config;
    config.setPort("COM5");
    std::ostringstream console;
    saveConfig(*shared, config, console);
    const QString file = prefs_test::sandbox() + "/ProgramData/Lumbrix/tarovexQV/prefs.txt";
    EXPECT_EQ(FilePreferencesFactory::getPreferencesFile(), file);
    EXPECT_TRUE(prefs_test::readFile(file).contains("\ncom.lumbrix.tarovex.port=COM5\n"));

    Tarolink::SystemProperties::clear("EDITION");
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    closeSettingsNode();
    Preferences* own = openSettingsNode();
    config.setPort("COM6");
    saveConfig(*own, config, console);
    EXPECT_EQ(console.str(), "");
    const QString conf = prefs_test::sandbox() + "/xdg-config/Lumbrix/tarovex.conf";
    EXPECT_TRUE(prefs_test::readFile(conf).contains("port=COM6"));
    EXPECT_FALSE(prefs_test::readFile(file).contains("COM6"));
    closeSettingsNode();
}

TEST(ConfigStore, WithoutProgramDataTheSharedFileIsMachineWide) {
    QTemporaryDir dir;
    const QString programData = QString::fromStdString(Tarolink::SystemProperties::get("ProgramData", ""));
    Tarolink::SystemProperties::clear("ProgramData");
    Tarolink::SystemProperties::set("EDITION", "QV");
    prefs_test::writeFile(dir.path() + "/plain", "");
    struct Row {
        QString folder;
        bool usable;
    } const rows[] = {{dir.path(), true}, {dir.path() + "/missing", false}, {dir.path() + "/plain", false}};
    for (const Row& r : rows) {
        closeSettingsNode();
        Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
        if (!r.usable) {
            EXPECT_THROW(openSettingsNode(r.folder), PreferencesAccessException) << r.folder.toStdString();
            continue;
        }
        Preferences* node = openSettingsNode(r.folder);
        Config config;
        config.setPort("COM5");
        std::ostringstream console;
        saveConfig(*node, config, console);
        EXPECT_EQ(FilePreferencesFactory::getPreferencesFile(), r.folder + "/prefs.txt");
        EXPECT_TRUE(
            prefs_test::readFile(r.folder + "/prefs.txt").contains("\ncom.lumbrix.tarovex.port=COM5\n"));
    }
    EXPECT_FALSE(QFileInfo::exists(prefs_test::sandbox() + "/.fileprefs")) << "no quiet per-user file";
    closeSettingsNode();
    Tarolink::SystemProperties::clear("EDITION");
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    Tarolink::SystemProperties::set("ProgramData", programData.toStdString());
}

// A shared file another user could have written is not used at all: its file names and
// station stay out, the user's own settings serve, and saving leaves the file alone.
TEST(ConfigStore, AnUntrustedSharedFileLeavesTheUserOnTheirOwnSettings) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the file to another user";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString programData = QString::fromStdString(Tarolink::SystemProperties::get("ProgramData", ""));
    Tarolink::SystemProperties::clear("ProgramData");
    Tarolink::SystemProperties::set("EDITION", "QV");
    const QString file = dir.path() + "/prefs.txt";
    const QByteArray planted = "com.lumbrix.tarovex.csvFile=~/.bashrc\ncom.lumbrix.tarovex.station=S1\n";
    struct Row {
        uid_t owner;
        gid_t group; // "nogroup" (65534) is the trusted one here
        mode_t mode;
        bool shared;
    } const rows[] = {{0, 0, 0644, true}, {prefs_test::nobody, 65533, 0644, false}, {0, 0, 0666, false}};
    for (const Row& r : rows) {
        closeSettingsNode();
        Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
        prefs_test::writeFile(file, planted);
        ASSERT_EQ(::chown(QFile::encodeName(file).constData(), r.owner, r.group), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), r.mode), 0);
        Preferences* node = openSettingsNode(dir.path(), "nogroup");
        Config config;
        loadConfig(*node, config, {"COM1"});
        EXPECT_EQ(config.record.csvFile == "~/.bashrc", r.shared) << r.owner << " " << r.mode;
        EXPECT_EQ(config.record.station == "S1", r.shared) << r.owner << " " << r.mode;
        if (r.shared)
            continue;
        std::ostringstream console;
        saveConfig(*node, config, console);
        EXPECT_EQ(prefs_test::readFile(file), planted);
    }
    closeSettingsNode();
    Tarolink::SystemProperties::clear("EDITION");
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    Tarolink::SystemProperties::set("ProgramData", programData.toStdString());
}

} // namespace

// The administrator's file wins over every store, but only when root owns it and only root
// may change it; what it does not understand locks nothing and is said.
TEST_P(ConfigStoreTest, TheAdministratorsSettingsWinOnlyFromARootFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file of root's is made only by root";
    QTemporaryDir etc;
    ASSERT_TRUE(QDir(etc.path()).mkpath(QStringLiteral("etc/tarovex")));
    const QString file = etc.path() + QString::fromLatin1(enforcedSettingsFile);
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("# locked by IT\ndelay=45\nkeyboardType=GERMAN\nnotASetting=1\nstableOnly=perhaps\n");
    out.close();
    node->put(QStringLiteral("delay"), QStringLiteral("5"));
    node->put(QStringLiteral("decimalPlaces"), QStringLiteral("3"));
    const struct {
        uid_t owner;
        mode_t mode;
        const char* delay;
        int problems;
    } cases[] = {{0, 0644, "45", 2}, {65534, 0644, "5", 1}, {0, 0664, "5", 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chown(QFile::encodeName(file).constData(), c.owner, 0), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), c.mode), 0);
        readEnforcedSettingsUnder(etc.path());
        Config config;
        loadConfig(*node, config, ports);
        EXPECT_EQ(config.getDelay().toStdString(), c.delay) << c.owner << " " << c.mode;
        EXPECT_EQ(config.getKeyboardType(),
                  c.delay == std::string("45") ? CH::KeyboardType::GERMAN : CH::KeyboardType::QUERTY);
        EXPECT_EQ(config.getDecimalPlaces(), "3");
        EXPECT_EQ(enforcedSettings().problems().size(), c.problems)
            << enforcedSettings().problems().join('\n').toStdString();
        std::ostringstream console;
        saveConfig(*node, config, console);
        EXPECT_EQ(node->get("delay", ""), "5"); // the user's own, kept for when the lock goes
    }
    readEnforcedSettingsUnder(etc.path() + QStringLiteral("/none"));
}
