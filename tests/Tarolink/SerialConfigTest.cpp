#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialExceptions.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Tarolink;
using tarolink_test::errorText;
using tarolink_test::PropertyGuard;

TEST(SerialConfig, IndexConstantsHaveTheirDocumentedValues) {
    const std::pair<int, int> table[] = {
        {SerialConfig::BR_110, 0},           {SerialConfig::BR_150, 1},
        {SerialConfig::BR_300, 2},           {SerialConfig::BR_600, 3},
        {SerialConfig::BR_1200, 4},          {SerialConfig::BR_2400, 5},
        {SerialConfig::BR_4800, 6},          {SerialConfig::BR_9600, 7},
        {SerialConfig::BR_19200, 8},         {SerialConfig::BR_38400, 9},
        {SerialConfig::BR_57600, 10},        {SerialConfig::BR_115200, 11},
        {SerialConfig::BR_230400, 12},       {SerialConfig::BR_460800, 13},
        {SerialConfig::BR_921600, 14},       {SerialConfig::LN_5BITS, 0},
        {SerialConfig::LN_6BITS, 1},         {SerialConfig::LN_7BITS, 2},
        {SerialConfig::LN_8BITS, 3},         {SerialConfig::ST_1BITS, 0},
        {SerialConfig::ST_2BITS, 1},         {SerialConfig::PY_NONE, 0},
        {SerialConfig::PY_ODD, 1},           {SerialConfig::PY_EVEN, 2},
        {SerialConfig::PY_MARK, 3},          {SerialConfig::PY_SPACE, 4},
        {SerialConfig::HS_NONE, 0},          {SerialConfig::HS_XONXOFF, 1},
        {SerialConfig::HS_CTSRTS, 2},        {SerialConfig::HS_DSRDTR, 3},
        {SerialConfig::HS_HARD_IN, 0x10},    {SerialConfig::HS_HARD_OUT, 0x20},
        {SerialConfig::HS_SOFT_IN, 0x40},    {SerialConfig::HS_SOFT_OUT, 0x80},
        {SerialConfig::HS_SPLIT_MASK, 0xF0},
    };
    for (std::size_t i = 0; i < std::size(table); ++i)
        EXPECT_EQ(table[i].first, table[i].second) << "row " << i;
    const int rates[] = {110,   150,   300,   600,    1200,   2400,   4800,  9600,
                         19200, 38400, 57600, 115200, 230400, 460800, 921600};
    ASSERT_EQ(SerialConfig::bitRateNumbers.size(), std::size(rates));
    for (std::size_t i = 0; i < std::size(rates); ++i)
        EXPECT_EQ(SerialConfig::bitRateNumbers[i], rates[i]);
    EXPECT_STREQ(SerialConfig::parityNames[3], "MARK");
    EXPECT_STREQ(SerialConfig::handshakeNames[1], "XON-XOFF");
}

TEST(SerialConfig, ConstructorsFillDefaults) {
    const SerialConfig byName("COM4");
    EXPECT_EQ(byName.getPortNameString(), "COM4");
    EXPECT_EQ(byName.getPort(), 0);
    EXPECT_EQ(byName.getBitRate(), 7);
    EXPECT_EQ(byName.getParity(), 0);
    EXPECT_EQ(byName.getDataBits(), 3);
    EXPECT_EQ(byName.getStopBits(), 0);
    EXPECT_EQ(byName.getHandshake(), 0);
    EXPECT_EQ(byName.getRxLen(), 4096);
    EXPECT_EQ(byName.getTxLen(), 4096);
    EXPECT_TRUE(byName.getHardFlow());
    EXPECT_FALSE(byName.getFlowPriority());
    EXPECT_EQ(byName.getBaseName(), std::string(1, '\0'));
    EXPECT_EQ(byName.getSettingsString(), "9600 / NONE / 8 / 1 / NONE");

    const SerialConfig plain;
    EXPECT_EQ(plain.getPortNameString(), "COM1");
    EXPECT_EQ(plain.getBaseName(), "/dev/ttyS");

    const SerialConfig numbered(-5, 100, 200); // numbers are not checked here
    EXPECT_EQ(numbered.getPort(), -5);
    EXPECT_EQ(numbered.getTxLen(), 100);
    EXPECT_EQ(numbered.getRxLen(), 200);
    EXPECT_EQ(numbered.getPortName(), std::string(1, '\0'));
    EXPECT_EQ(numbered.getBaseName(), "/dev/ttyS");
}

TEST(SerialConfig, BitRateReadings) {
    SerialConfig c("COM1");
    c.setBitRate(921600);
    EXPECT_EQ(c.getBitRate(), 921600);
    EXPECT_EQ(errorText<PortArgumentException>([&] { c.setBitRate(921601); }),
              "Invalid Serial Port Bit Rate");
    EXPECT_EQ(errorText<PortArgumentException>([&] { c.setBitRate(-1); }), "Invalid Serial Port Bit Rate");
    EXPECT_EQ(c.getBitRate(), 921600) << "a refused value leaves the old one";
    c.setBitRate(9600);
    EXPECT_EQ(c.getBitRateNumber(c.getBitRate()), 9600);
    EXPECT_FALSE(c.validBitRateIndex());
    c.setBitRate(7);
    EXPECT_EQ(c.getBitRateNumber(c.getBitRate()), 9600);
    EXPECT_TRUE(c.validBitRateIndex());
    EXPECT_EQ(c.getBitRateIndex(14400), -1);
    EXPECT_EQ(c.getBitRateIndex(110), 0);
    EXPECT_EQ(c.getBitRateIndex(921600), 14);
    EXPECT_THROW(c.getBitRateNumber(15), std::out_of_range);
    c.setBitRate(20); // accepted, though neither an index nor a rate
    EXPECT_FALSE(c.validBitRateIndex());
}

TEST(SerialConfig, SettersRefuseWithTheirTexts) {
    PropertyGuard os("TLK_OSNAME", "Linux");
    SerialConfig c("COM1");
    struct Row {
        std::function<void()> call;
        const char* text;
    } rows[] = {
        {[&] { c.setDataBits(4); }, "Invalid Serial Port Data Bits"},
        {[&] { c.setDataBits(-1); }, "Invalid Serial Port Data Bits"},
        {[&] { c.setParity(5); }, "Invalid Serial Port Parity"},
        {[&] { c.setStopBits(2); }, "Invalid Serial Port Stop Bits"},
        {[&] { c.setHandshake(4); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(241); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(15); }, "Invalid Serial Port Handshake"},
        {[&] { c.setHandshake(3); }, "DSRDTR handshaking not available on this platform"},
        {[&] { c.setPortNum(-1); }, "Invalid Port Number: -1"},
    };
    for (auto& row : rows)
        EXPECT_EQ(errorText<PortArgumentException>(row.call), row.text);
    EXPECT_EQ(c.getSettingsString(), "9600 / NONE / 8 / 1 / NONE");
    c.setRxLen(100000);
    EXPECT_EQ(c.getRxLen(), 100000);
    c.setHandshake(16);
    c.setHandshake(240);
    EXPECT_EQ(c.getHandshake(), 240);
}

TEST(SerialConfig, SummaryOfSplitHandshake) {
    SerialConfig c("COM1");
    c.setHandshake(SerialConfig::HS_HARD_IN | SerialConfig::HS_HARD_OUT);
    c.setParity(SerialConfig::PY_EVEN);
    c.setDataBits(SerialConfig::LN_7BITS);
    EXPECT_EQ(c.getSettingsString(), "9600 / EVEN / 7 / 1 /  HI HO");
    c.setHandshake(0xF0);
    c.setStopBits(1);
    c.setBitRate(115200);
    EXPECT_EQ(c.getSettingsString(), "115200 / EVEN / 7 / 2 /  HI HO SI SO");
    c.setHandshake(SerialConfig::HS_CTSRTS);
    EXPECT_EQ(c.getSettingsString(), "115200 / EVEN / 7 / 2 / CTS-RTS");
}

TEST(SerialConfig, ChecksThatDependOnTheOsName) {
    {
        PropertyGuard os("TLK_OSNAME", "Windows 10");
        SerialConfig c("COM1");
        EXPECT_EQ(errorText<PortArgumentException>([&] { c.setHandshake(3); }),
                  "DSRDTR handshaking not available on this platform");
    }
    for (const char* name : {"Windows XP", "Windows 7", "OS/2", "Windows NT (unknown)"}) {
        PropertyGuard os("TLK_OSNAME", name);
        SerialConfig c("COM1");
        c.setHandshake(3);
        EXPECT_EQ(c.getHandshake(), 3) << name;
        EXPECT_EQ(c.getSettingsString(), "9600 / NONE / 8 / 1 / DSR-DTR");
    }
    {
        PropertyGuard os("TLK_OSNAME", "EPOC");
        SerialConfig c("COM1");
        c.setPortNum(-1);
        EXPECT_EQ(c.getPort(), -1);
        EXPECT_EQ(errorText<PortArgumentException>([&] { c.setRxLen(8193); }), "Limited to 8192 on EPOC");
        EXPECT_EQ(errorText<PortArgumentException>([&] { c.setTxLen(100000); }), "Limited to 8192 on EPOC");
        c.setRxLen(8192);
        EXPECT_EQ(c.getRxLen(), 8192);
    }
    {
        PropertyGuard os("TLK_OSNAME", "Mac OS");
        SerialConfig c("Modem Port");
        c.setHandshake(2);
        EXPECT_EQ(c.getSettingsString(), "9600 / NONE / 8 / 1 / CTS-DTR");
    }
}

TEST(SerialConfig, CloneCopiesEveryField) {
    SerialConfig c("COM9");
    c.setBitRate(3);
    c.setFlowPriority(true);
    c.setHardFlow(false);
    c.setBaseName("/dev/ttyUSB");
    const SerialConfig d = c.clone();
    EXPECT_EQ(d.getPortNameString(), "COM9");
    EXPECT_EQ(d.getBitRate(), 3);
    EXPECT_TRUE(d.getFlowPriority());
    EXPECT_FALSE(d.getHardFlow());
    EXPECT_EQ(d.getBaseName(), "/dev/ttyUSB");
}
