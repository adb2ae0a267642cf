#include "Tarolink/PlatformFeatures.h"

#include <gtest/gtest.h>

using namespace Tarolink;

namespace {

const char* const kAll[] = {
    "sigBreak",        "sigFrameErr",  "sigOverrun",     "sigParityErr",  "rxOverflow",   "sigRing",
    "sigCTS",          "sigDSR",       "sigCD",          "setRTS",        "setDTR",       "rxReadyCount",
    "txBufCount",      "setTimeoutTx", "sendBreak",      "getPortList",   "getStatusAPM", "InstanceLock",
    "ParityMarkSpace", "UnplugPort",   "noIndexBitRate", "supDriverInfo", "setPowerMode"};

std::vector<std::string> offFlags(const PlatformFeatures& f) {
    std::vector<std::string> off;
    for (const char* n : kAll)
        if (!f.isSupported(n))
            off.emplace_back(n);
    return off;
}

} // namespace

TEST(PlatformFeatures, WindowsColumns) {
    struct Row {
        const char* os;
        std::vector<std::string> off;
        int maxRate;
        const char* library;
    } rows[] = {
        {"Windows 10", {"noIndexBitRate", "setPowerMode"}, 921600, "tlkWin"},
        {"Windows", {"noIndexBitRate", "setPowerMode"}, 921600, "tlkWin"},
        {"Windows XP", {"noIndexBitRate", "setPowerMode"}, 921600, "tlkWin"},
        {"Windows NT (unknown)", {"noIndexBitRate", "setPowerMode"}, 921600, "tlkWin"},
        {"Windows NT", {"noIndexBitRate", "supDriverInfo", "setPowerMode"}, 115200, "tlkWin"},
        {"Windows Server 2012 R2", {"noIndexBitRate", "supDriverInfo", "setPowerMode"}, 115200, "tlkWin"},
        {"Windows 95", {"noIndexBitRate", "supDriverInfo", "setPowerMode"}, 115200, "tlkWin"},
        {"WindowsCE", {"noIndexBitRate", "supDriverInfo", "setPowerMode"}, 115200, "tlkWin"},
        {"OS/2", {"supDriverInfo", "setPowerMode"}, 115200, "tlkOS2"},
        {"Novell NetWare",
         {"getPortList", "noIndexBitRate", "supDriverInfo", "setPowerMode"},
         115200,
         "tlkNetWare"},
        {"Linux", {"getStatusAPM", "InstanceLock", "noIndexBitRate", "setPowerMode"}, 921600, "tlkPosix"},
    };
    for (const auto& row : rows) {
        const auto f = PlatformFeatures::forOsName(row.os);
        EXPECT_EQ(offFlags(f), row.off) << row.os;
        EXPECT_EQ(f.maxBitRate, row.maxRate) << row.os;
        EXPECT_EQ(f.libraryName, row.library) << row.os;
    }
}

TEST(PlatformFeatures, DefaultsAndSpecialCases) {
    EXPECT_EQ(PlatformFeatures::forOsName("Windows 7").defaultPortName, "COM1");
    EXPECT_EQ(PlatformFeatures::forOsName("OS/2").defaultPortName, "COM1");
    EXPECT_EQ(PlatformFeatures::forOsName("Mac OS").defaultPortName, "Modem Port");
    EXPECT_TRUE(PlatformFeatures::forOsName("Mac OS").pollingReadTimeout);
    EXPECT_TRUE(PlatformFeatures::forOsName("NetWare").pollingReadTimeout);
    EXPECT_FALSE(PlatformFeatures::forOsName("Windows 10").pollingReadTimeout);
    EXPECT_TRUE(PlatformFeatures::forOsName("Windows 10").windowsPortNames);
    EXPECT_FALSE(PlatformFeatures::forOsName("Linux").windowsPortNames);
    EXPECT_EQ(PlatformFeatures::forOsName("Windows 10", "1.0.2").libraryName, "tlkWinNm");
    EXPECT_EQ(PlatformFeatures::forOsName("Plan 9").libraryName, "");
    // Every Windows name loads the Windows driver, also one the columns do not list.
    const auto newer = PlatformFeatures::forOsName("Windows 11");
    EXPECT_EQ(newer.libraryName, "tlkWin");
    EXPECT_EQ(newer.defaultPortName, "COM1");
    EXPECT_TRUE(newer.windowsPortNames);
    EXPECT_EQ(offFlags(newer).size(), std::size(kAll) - 1) << "only sendBreak is on";
    EXPECT_EQ(newer.maxBitRate, 115200);
    const auto bare = PlatformFeatures::forOsName("Plan 9");
    EXPECT_EQ(offFlags(bare).size(), std::size(kAll) - 1) << "only sendBreak starts true";
    EXPECT_TRUE(bare.isSupported("sendBreak"));
    EXPECT_FALSE(bare.isSupported("unknown"));
}
