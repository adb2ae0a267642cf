#include "Tarolink/PortNameOrder.h"

#include <gtest/gtest.h>

using namespace Tarolink;

TEST(PortNameOrder, NaturalOrderCountsDigitRuns) {
    std::vector<std::string> names{"/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyS2",    "/dev/ttyACM1",
                                   "/dev/ttyS1",  "/dev/ttyS02",  "/dev/ttyUSB10", "/dev/ttyUSB9"};
    sortNatural(names);
    EXPECT_EQ(names,
              (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS02",
                                        "/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyUSB9", "/dev/ttyUSB10"}));
    EXPECT_FALSE(naturalLess("ttyS2", "ttyS2"));
    EXPECT_TRUE(naturalLess("ttyS", "ttyS0"));
    EXPECT_TRUE(naturalLess("ttyS99999999999999999999", "ttyS100000000000000000000"));
}

TEST(PortNameOrder, ComNamesAreSortedByNumber) {
    struct Row {
        std::vector<std::string> in, out;
    } rows[] = {
        {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
        {{"COM10", "COM3", "COM1"}, {"COM1", "COM3", "COM10"}},
        {{"LPT1", "COM4", "Modem", "COM03"}, {"COM3", "COM4", "LPT1", "Modem"}},
        {{"COMX", "COM1a", "COM7"}, {"COM7"}},
        {{}, {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(reorderComNames(row.in), row.out);
}
