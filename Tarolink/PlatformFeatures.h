#pragma once

#include <cstdint>
#include <string>

namespace Tarolink {

// What the serial library offers on one OS name: the capability flags queried by
// SerialPort::isSupported, the highest bit rate, the default port name and the
// native driver library chosen for that system.
struct PlatformFeatures {
    bool sigBreak = false;
    bool sigFrameErr = false;
    bool sigOverrun = false;
    bool sigParityErr = false;
    bool rxOverflow = false;
    bool sigRing = false;
    bool sigCTS = false;
    bool sigDSR = false;
    bool sigCD = false;
    bool setRTS = false;
    bool setDTR = false;
    bool rxReadyCount = false;
    bool txBufCount = false;
    bool setTimeoutTx = false;
    bool sendBreak = true;
    bool getPortList = false;
    bool getStatusAPM = false;
    bool instanceLock = false;
    bool parityMarkSpace = false;
    bool unplugPort = false;
    bool noIndexBitRate = false;
    bool supDriverInfo = false;
    bool setPowerMode = false;
    // Not queryable: the port waits for the read time-out itself by polling the count.
    bool pollingReadTimeout = false;
    // Whether the names of the Windows driver are reordered (COM1, COM2, COM10).
    bool windowsPortNames = false;

    std::int32_t maxBitRate = 115200;
    std::string defaultPortName;
    // Native driver library for this system; empty when the system is not supported.
    std::string libraryName;

    // The capability setup: the features of `osName`. `runtimeVersion` picks the
    // variant of the Windows library ("1.0.2" or "102" select "tlkWinNm").
    static PlatformFeatures forOsName(const std::string& osName, const std::string& runtimeVersion = "");

    // The flag named `name` (exact, case-sensitive: "sigCTS", "setRTS", "getPortList", ...);
    // false for any other text.
    bool isSupported(const std::string& name) const;

    // True for the thirteen later Windows names ("Windows", "Windows 10", ...).
    static bool isLaterWindows(const std::string& osName);
    // True for every name that starts with "Windows".
    static bool isWindows(const std::string& osName);
};

} // namespace Tarolink
