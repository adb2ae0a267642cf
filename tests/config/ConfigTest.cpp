#include "config/Config.h"
#include "config/SettingsTable.h"

#include <gtest/gtest.h>

using namespace tarovex::config;
using namespace tarovex::config::ConfigHelper;

namespace {

// A record with every setting away from a new record's defaults, set through the settings
// table from the texts the store holds.
Config fullySet() {
    Config c;
    c.setPort("COM7");
    const std::pair<const char*, const char*> texts[] = {
        {"instrument", "SARTORIUS"},     {"bitRate", "4"},
        {"dataBits", "2"},               {"stopBits", "1"},
        {"parity", "1"},                 {"inputTerminator", "10"},
        {"connect", "AUTO"},             {"keyboardType", "GERMAN"},
        {"delay", "50"},                 {"decimalSeparator", "COMMA"},
        {"startWith", "F3"},             {"outputTerminator", "TAB"},
        {"outputTerminator2", "ENTER"},  {"everyXValues", "5"},
        {"mathOperation", "DIVIDE"},     {"mathOperand", "2.5"},
        {"decimalPlaces", "3"},          {"roundingMethod", "FLOOR"},
        {"sound", "CLAVES"},             {"minimizeToTray", "false"},
        {"notifyWhenMinimizedToTray", "false"}, {"checkForUpdates", "false"},
        {"abortAutoStartWhenPrevPortNotAvailable", "false"}, {"editOperation", "KEEP"},
        {"editPosition", "LAST"},        {"editNumCharacters", "4"},
        {"removeCharacters", "kg"},      {"customRegEx", "(\\d+)"},
        {"ignoreDuplicates", "true"},    {"ignoreTimeLimit", "1000"},
        {"ignoreDifference", "0.5"}};
    for (const auto& [key, text] : texts)
        EXPECT_TRUE(applySetting(c, key, text)) << key << "=" << text;
    return c;
}

class Recorder : public PropertyChangeListener {
public:
    void propertyChange(const PropertyChangeEvent& event) override { events.append(event); }
    QList<PropertyChangeEvent> events;
};

} // namespace

TEST(Config, NewRecordDefaults) {
    const Config c;
    EXPECT_EQ(c.getPort(), "");
    EXPECT_EQ(c.getInstrument(), std::nullopt);
    EXPECT_EQ(c.getBitRate(), 0);
    EXPECT_EQ(c.getInputTerminator(), 0);
    EXPECT_EQ(c.getDelay(), "20");
    EXPECT_EQ(c.getPrevPort(), std::nullopt);
    EXPECT_EQ(c.getRoundingMethod(), RoundingMethod::HALF_UP);
    EXPECT_EQ(c.getKeyboardType(), KeyboardType::QUERTY);
    EXPECT_TRUE(c.minimizeToTray && c.notifyWhenMinimizedToTray && c.checkForUpdates &&
                c.abortAutoStartWhenPrevPortNotAvailable);
    EXPECT_FALSE(c.ignoreDuplicates);
}

TEST(Config, EachStoredTextSetsItsOwnSetting) {
    const Config c = fullySet();
    EXPECT_EQ(c.getPort(), "COM7");
    EXPECT_EQ(c.getInstrument(), Instrument::SARTORIUS);
    EXPECT_EQ(c.getBitRate(), 4);
    EXPECT_EQ(c.getDataBits(), 2);
    EXPECT_EQ(c.getStopBits(), 1);
    EXPECT_EQ(c.getParity(), 1);
    EXPECT_EQ(c.getInputTerminator(), 10);
    EXPECT_EQ(c.getConnect(), Connect::AUTO);
    EXPECT_EQ(c.getKeyboardType(), KeyboardType::GERMAN);
    EXPECT_EQ(c.getDelay(), "50");
    EXPECT_EQ(c.getDecimalSeparator(), DecimalSeparator::COMMA);
    EXPECT_EQ(c.getStartWith(), StartWith::F3);
    EXPECT_EQ(c.getOutputTerminator(), OutputTerminator::TAB);
    EXPECT_EQ(c.getOutputTerminator2(), OutputTerminator::ENTER);
    EXPECT_EQ(c.getEveryXValues(), "5");
    EXPECT_EQ(c.getMathOperation(), MathOperation::DIVIDE);
    EXPECT_EQ(c.getMathOperand(), "2.5");
    EXPECT_EQ(c.getDecimalPlaces(), "3");
    EXPECT_EQ(c.getRoundingMethod(), RoundingMethod::FLOOR);
    EXPECT_EQ(c.getSound(), Sound::CLAVES);
    EXPECT_FALSE(c.minimizeToTray || c.notifyWhenMinimizedToTray || c.checkForUpdates ||
                 c.abortAutoStartWhenPrevPortNotAvailable);
    EXPECT_EQ(c.getEditOperation(), EditOperation::KEEP);
    EXPECT_EQ(c.getEditPosition(), EditPosition::LAST);
    EXPECT_EQ(c.getEditNumCharacters(), "4");
    EXPECT_EQ(c.getRemoveCharacters(), "kg");
    EXPECT_EQ(c.getCustomRegEx(), "(\\d+)");
    EXPECT_TRUE(c.ignoreDuplicates);
    EXPECT_EQ(c.getIgnoreTimeLimit(), "1000");
    EXPECT_EQ(c.getIgnoreDifference(), "0.5");
    EXPECT_EQ(c.getPrevPort(), std::nullopt);
}

TEST(Config, CopyMatchesButLeavesPrevPortOut) {
    Config original = fullySet();
    original.setPrevPort(QStringLiteral("COM1"));
    Config copy = Config::copyConfig(original);
    EXPECT_EQ(copy.getPrevPort(), std::nullopt);
    EXPECT_FALSE(configChanged(copy, original));
    EXPECT_FALSE(configChanged(original, copy));
    copy.setPrevPort(QStringLiteral("COM9"));
    EXPECT_FALSE(configChanged(copy, original));
    EXPECT_FALSE(configChanged(Config(), Config()));
}

TEST(Config, HasChangedSeesEverySetting) {
    const Config base = fullySet();
    const std::pair<const char*, std::function<void(Config&)>> changes[] = {
        {"port", [](Config& c) { c.setPort("COM8"); }},
        {"instrument", [](Config& c) { c.setInstrument(Instrument::KERN_DS); }},
        {"no instrument", [](Config& c) { c.setInstrument(std::nullopt); }},
        {"bitRate", [](Config& c) { c.setBitRate(5); }},
        {"dataBits", [](Config& c) { c.setDataBits(3); }},
        {"stopBits", [](Config& c) { c.setStopBits(0); }},
        {"parity", [](Config& c) { c.setParity(2); }},
        {"inputTerminator", [](Config& c) { c.setInputTerminator(13); }},
        {"decimalSeparator", [](Config& c) { c.setDecimalSeparator(DecimalSeparator::DOT); }},
        {"startWith", [](Config& c) { c.setStartWith(StartWith::F4); }},
        {"outputTerminator", [](Config& c) { c.setOutputTerminator(OutputTerminator::NONE); }},
        {"outputTerminator2", [](Config& c) { c.setOutputTerminator2(OutputTerminator::DOWN); }},
        {"everyXValues", [](Config& c) { c.setEveryXValues("6"); }},
        {"connect", [](Config& c) { c.setConnect(Connect::MANUAL); }},
        {"mathOperation", [](Config& c) { c.setMathOperation(MathOperation::MULTIPLY); }},
        {"mathOperand", [](Config& c) { c.setMathOperand("2.50"); }},
        {"decimalPlaces", [](Config& c) { c.setDecimalPlaces("4"); }},
        {"roundingMethod", [](Config& c) { c.setRoundingMethod(RoundingMethod::UP); }},
        {"sound", [](Config& c) { c.setSound(Sound::NONE); }},
        {"keyboardType", [](Config& c) { c.setKeyboardType(KeyboardType::ALL); }},
        {"delay", [](Config& c) { c.setDelay("51"); }},
        {"editOperation", [](Config& c) { c.setEditOperation(EditOperation::REMOVE); }},
        {"editPosition", [](Config& c) { c.setEditPosition(EditPosition::FIRST); }},
        {"editNumCharacters", [](Config& c) { c.setEditNumCharacters("5"); }},
        {"removeCharacters", [](Config& c) { c.setRemoveCharacters("g"); }},
        {"customRegEx", [](Config& c) { c.setCustomRegEx("(\\d*)"); }},
        {"ignoreTimeLimit", [](Config& c) { c.setIgnoreTimeLimit("999"); }},
        {"ignoreDifference", [](Config& c) { c.setIgnoreDifference("0.6"); }},
        {"minimizeToTray", [](Config& c) { c.minimizeToTray = true; }},
        {"notifyWhenMinimizedToTray", [](Config& c) { c.notifyWhenMinimizedToTray = true; }},
        {"checkForUpdates", [](Config& c) { c.checkForUpdates = true; }},
        {"abortAutoStart", [](Config& c) { c.abortAutoStartWhenPrevPortNotAvailable = true; }},
        {"ignoreDuplicates", [](Config& c) { c.ignoreDuplicates = false; }},
    };
    for (const auto& [what, change] : changes) {
        Config changed = Config::copyConfig(base);
        change(changed);
        EXPECT_TRUE(configChanged(changed, base)) << what;
    }
}

TEST(Config, TypedAccessors) {
    struct Row {
        QString text;
        std::optional<int> decimalPlaces;
        int delay;
        int count; // edit count and every-X count
    };
    const Row rows[] = {{"", std::nullopt, 20, 0},
                        {"3", 3, 3, 3},
                        {"+7", 7, 7, 7},
                        {"-2", -2, -2, -2},
                        {"x", std::nullopt, 20, 0},
                        {" 5", std::nullopt, 20, 0},
                        {"2.5", std::nullopt, 20, 0},
                        {"99999999999", std::nullopt, 20, 0}};
    for (const Row& r : rows) {
        Config c;
        c.setDecimalPlaces(r.text);
        c.setDelay(r.text);
        c.setEditNumCharacters(r.text);
        c.setEveryXValues(r.text);
        const auto text = r.text.toStdString();
        EXPECT_EQ(c.getDecimalPlacesAsInt(), r.decimalPlaces) << text;
        EXPECT_EQ(c.getDelayAsInt(), r.delay) << text;
        EXPECT_EQ(c.getEditNumCharactersAsInt(), r.count) << text;
        EXPECT_EQ(c.getEveryXValuesAsInt(), r.count) << text;
    }
}

TEST(Config, RoundingAndMathEnabling) {
    struct Row {
        MathOperation operation;
        QString operand;
        QString decimalPlaces;
        bool rounding;
        bool math;
    };
    const Row rows[] = {
        {MathOperation::DIVIDE, "2", "", false, false},  {MathOperation::DIVIDE, "2", "2", true, true},
        {MathOperation::DIVIDE, "2", "8", false, false}, {MathOperation::DIVIDE, "2", "x", false, false},
        {MathOperation::DIVIDE, "", "2", true, false},   {MathOperation::MULTIPLY, "2", "", false, true},
        {MathOperation::MULTIPLY, "2", "0", true, true}, {MathOperation::MULTIPLY, "2", "-1", false, true},
        {MathOperation::MULTIPLY, "", "", false, false}, {MathOperation::NONE, "2", "2", true, false},
        {MathOperation::NONE, "", "7", true, false},
    };
    for (const Row& r : rows) {
        Config c;
        c.setMathOperation(r.operation);
        c.setMathOperand(r.operand);
        c.setDecimalPlaces(r.decimalPlaces);
        const std::string what =
            (r.operation.name() + " '" + r.operand + "' '" + r.decimalPlaces + "'").toStdString();
        EXPECT_EQ(c.roundingEnabled(), r.rounding) << what;
        EXPECT_EQ(c.mathOperationEnabled(), r.math) << what;
    }
}

TEST(Config, ListenersHearEverySetInstrumentOfTheirType) {
    Config c;
    Recorder numbers, texts, removed;
    c.addPropertyChangeListener("NUMBER", &numbers);
    c.addPropertyChangeListener("TEXT", &texts);
    c.addPropertyChangeListener("NUMBER", &removed);
    c.removePropertyChangeListener("NUMBER", &removed);
    c.removePropertyChangeListener("TEXT", &numbers); // not registered so: no effect

    c.setInstrument(Instrument::KERN_DS);
    c.setInstrument(Instrument::KERN_DS);
    c.setInstrument(Instrument::BARCODE_ALPHA);
    c.setInstrument(std::nullopt);

    ASSERT_EQ(numbers.events.size(), 2);
    for (const PropertyChangeEvent& e : numbers.events) {
        EXPECT_EQ(e.propertyName, "NUMBER");
        EXPECT_EQ(e.oldValue, std::nullopt);
        EXPECT_EQ(e.newValue, Instrument::KERN_DS);
    }
    ASSERT_EQ(texts.events.size(), 1);
    EXPECT_EQ(texts.events[0].propertyName, "TEXT");
    EXPECT_EQ(texts.events[0].newValue, Instrument::BARCODE_ALPHA);
    EXPECT_TRUE(removed.events.isEmpty());
    EXPECT_EQ(c.getInstrument(), std::nullopt);
}

TEST(Config, CopiesDoNotTakeListeners) {
    Config c;
    Recorder listener;
    c.addPropertyChangeListener("NUMBER", &listener);
    Config copied = c;
    Config viaCopyConfig = Config::copyConfig(c);
    copied.setInstrument(Instrument::GENERIC);
    viaCopyConfig.setInstrument(Instrument::GENERIC);
    EXPECT_TRUE(listener.events.isEmpty());
    c.setInstrument(Instrument::GENERIC);
    EXPECT_EQ(listener.events.size(), 1);
}

TEST(Config, SettersDoNotValidate) {
    Config c;
    c.setBitRate(99);
    c.setInputTerminator(-5);
    c.setDelay("soon");
    EXPECT_EQ(c.getBitRate(), 99);
    EXPECT_EQ(c.getInputTerminator(), -5);
    EXPECT_EQ(c.getDelay(), "soon");
}
