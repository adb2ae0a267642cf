#include "Tarolink/SerialConfig.h"
#include "config/ConfigHelper.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using Tarolink::SerialConfig;
namespace CH = tarovex::config::ConfigHelper;

// A stored setting is handed to the serial library as it is: each ordinal must be the
// library's index of the same constant, and each label the value the library means.
TEST(SerialOrdinals, EqualTheSerialLibraryIndexes) {
    const std::vector<std::pair<CH::BitRates, int>> rates = {
        {CH::BitRates::BR_110, SerialConfig::BR_110},       {CH::BitRates::BR_150, SerialConfig::BR_150},
        {CH::BitRates::BR_300, SerialConfig::BR_300},       {CH::BitRates::BR_600, SerialConfig::BR_600},
        {CH::BitRates::BR_1200, SerialConfig::BR_1200},     {CH::BitRates::BR_2400, SerialConfig::BR_2400},
        {CH::BitRates::BR_4800, SerialConfig::BR_4800},     {CH::BitRates::BR_9600, SerialConfig::BR_9600},
        {CH::BitRates::BR_19200, SerialConfig::BR_19200},   {CH::BitRates::BR_38400, SerialConfig::BR_38400},
        {CH::BitRates::BR_57600, SerialConfig::BR_57600},   {CH::BitRates::BR_115200, SerialConfig::BR_115200},
        {CH::BitRates::BR_230400, SerialConfig::BR_230400}, {CH::BitRates::BR_460800, SerialConfig::BR_460800},
        {CH::BitRates::BR_921600, SerialConfig::BR_921600},
    };
    ASSERT_EQ(rates.size(), CH::BitRates::values().size());
    for (const auto& [rate, index] : rates) {
        EXPECT_EQ(rate.ordinal(), index) << rate.name().toStdString();
        EXPECT_EQ(rate.bitsPerSecond(), SerialConfig::bitRateNumbers[index]) << rate.name().toStdString();
        EXPECT_EQ(rate.toString().toInt(), SerialConfig::bitRateNumbers[index]);
    }

    EXPECT_EQ(CH::DataBits::LN_5BITS.ordinal(), SerialConfig::LN_5BITS);
    EXPECT_EQ(CH::DataBits::LN_6BITS.ordinal(), SerialConfig::LN_6BITS);
    EXPECT_EQ(CH::DataBits::LN_7BITS.ordinal(), SerialConfig::LN_7BITS);
    EXPECT_EQ(CH::DataBits::LN_8BITS.ordinal(), SerialConfig::LN_8BITS);
    EXPECT_EQ(CH::DataBits::values().size(), 4);

    EXPECT_EQ(CH::StopBits::ST_1BITS.ordinal(), SerialConfig::ST_1BITS);
    EXPECT_EQ(CH::StopBits::ST_2BITS.ordinal(), SerialConfig::ST_2BITS);
    EXPECT_EQ(CH::StopBits::values().size(), 2);

    const std::vector<std::pair<CH::Parity, int>> parities = {
        {CH::Parity::NONE, SerialConfig::PY_NONE}, {CH::Parity::ODD, SerialConfig::PY_ODD},
        {CH::Parity::EVEN, SerialConfig::PY_EVEN}, {CH::Parity::MARK, SerialConfig::PY_MARK},
        {CH::Parity::SPACE, SerialConfig::PY_SPACE},
    };
    ASSERT_EQ(parities.size(), CH::Parity::values().size());
    for (const auto& [parity, index] : parities) {
        EXPECT_EQ(parity.ordinal(), index);
        EXPECT_EQ(parity.name().toStdString(), SerialConfig::parityNames[index]);
    }

    // The defaults agree too: a fresh library configuration is the settings' default.
    const SerialConfig fresh;
    EXPECT_EQ(fresh.getBitRate(), CH::BitRates::getDefault());
    EXPECT_EQ(fresh.getDataBits(), CH::DataBits::getDefault());
    EXPECT_EQ(fresh.getStopBits(), CH::StopBits::getDefault());
    EXPECT_EQ(fresh.getParity(), CH::Parity::getDefault());
}
