// One setting from its text, as the console front end's --set applies it.
#include "config/SettingsTable.h"
#include "tarovex/prefs/ConfigStore.h"

#include <gtest/gtest.h>

using tarovex::config::Config;
using tarovex::config::applySetting;
namespace CH = tarovex::config::ConfigHelper;

TEST(ApplySetting, AcceptedTextsChangeTheirSetting) {
    Config c;
    EXPECT_TRUE(applySetting(c, "bitRate", "11"));
    EXPECT_EQ(c.getBitRate(), 11);
    EXPECT_TRUE(applySetting(c, "instrument", "BARCODE"));
    EXPECT_EQ(c.getInstrument(), CH::Instrument::BARCODE);
    EXPECT_TRUE(applySetting(c, "ignoreDuplicates", "TRUE"));
    EXPECT_TRUE(c.ignoreDuplicates);
    EXPECT_TRUE(applySetting(c, "roundingMethod", "HALF_EVEN"));
    EXPECT_EQ(c.getRoundingMethod(), CH::RoundingMethod::HALF_EVEN);
    EXPECT_TRUE(applySetting(c, "customRegEx", "([0-9.]+)"));
    EXPECT_EQ(c.getCustomRegEx(), "([0-9.]+)");
    EXPECT_TRUE(applySetting(c, "decimalPlaces", "2"));
    EXPECT_EQ(c.getDecimalPlaces(), "2");
    EXPECT_TRUE(applySetting(c, "inputTerminator", "010"));
    EXPECT_EQ(c.getInputTerminator(), 10);
    EXPECT_TRUE(applySetting(c, "decimalPlaces", "")) << "empty: not used";
    EXPECT_EQ(c.getDecimalPlaces(), "");
}

TEST(ApplySetting, RefusedTextsLeaveTheRecordAlone) {
    const std::vector<std::pair<QString, QString>> rows = {
        {"bitRate", "abc"},          {"bitRate", "15"},          {"bitRate", "-1"},
        {"dataBits", "8"},           {"inputTerminator", "256"}, {"instrument", "barcode"},
        {"ignoreDuplicates", "yes"}, {"decimalPlaces", "8"},     {"mathOperand", "0"},
        {"delay", "1001"},           {"everyXValues", "1"},      {"port", "/dev/ttyS0"},
        {"prevPort", "x"},           {"nothing", "1"},
    };
    for (const auto& [key, text] : rows) {
        Config c;
        c.setInstrument(CH::Instrument::GENERIC);
        const Config before = c;
        EXPECT_FALSE(applySetting(c, key, text)) << key.toStdString() << "=" << text.toStdString();
        EXPECT_FALSE(tarovex::config::configChanged(c, before)) << key.toStdString();
    }
}

TEST(ApplySetting, AMalformedTemplateIsRefusedWithTheParsersMessage) {
    Config c;
    ASSERT_TRUE(applySetting(c, "outputTemplate", "{TAB}{value}{ENTER}"));
    EXPECT_FALSE(applySetting(c, "outputTemplate", "{value}{date:yyyy-QQ}"));
    EXPECT_EQ(c.getOutputTemplate(), "{TAB}{value}{ENTER}");
    EXPECT_EQ(tarovex::config::settingProblem("outputTemplate", "{value}{date:yyyy-QQ}"),
              "Column 8: time format in {date:yyyy-QQ} may hold only yyyy MM dd HH mm ss zzz as letters");
    EXPECT_TRUE(tarovex::config::settingProblem("outputTemplate", "{value}").isEmpty());
}

TEST(ApplySetting, EveryKeyOfTheTableIsOffered) {
    const QStringList keys = tarovex::prefs::settingKeys();
    EXPECT_EQ(keys.first(), "instrument");
    for (const char* key :
         {"bitRate", "inputTerminator", "customRegEx", "ignoreDuplicates", "ignoreDifference"})
        EXPECT_TRUE(keys.contains(key)) << key;
    EXPECT_FALSE(keys.contains("port"));
}
