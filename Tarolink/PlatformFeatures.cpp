#include "Tarolink/PlatformFeatures.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace Tarolink {

namespace {

bool oneOf(const std::string& s, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return s == n; });
}

// Everything the Windows driver does, both columns alike.
void setCommon(PlatformFeatures& f) {
    f.sigBreak = f.sigFrameErr = f.sigOverrun = f.sigParityErr = f.rxOverflow = true;
    f.sigRing = f.sigCTS = f.sigDSR = f.sigCD = true;
    f.setRTS = f.setDTR = true;
    f.rxReadyCount = f.txBufCount = true;
    f.setTimeoutTx = true;
    f.sendBreak = true;
    f.getPortList = true;
    f.getStatusAPM = true;
    f.instanceLock = true;
    f.parityMarkSpace = true;
    f.unplugPort = true;
}

std::string toLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

} // namespace

bool PlatformFeatures::isLaterWindows(const std::string& osName) {
    return oneOf(osName,
                 {"Windows", "Windows 10", "Windows 8.1", "Windows 8", "Windows 7", "Windows NT (unknown)",
                  "Windows Server 2008", "Windows Server 2008 R2", "Windows Server 2012", "Windows Vista",
                  "Windows 2003", "Windows 2000", "Windows XP"});
}

bool PlatformFeatures::isWindows(const std::string& osName) {
    return osName.rfind("Windows", 0) == 0;
}

PlatformFeatures PlatformFeatures::forOsName(const std::string& osName, const std::string& runtimeVersion) {
    PlatformFeatures f;
    const bool netware = toLower(osName).find("netware") != std::string::npos;
    const std::string winLibrary =
        (runtimeVersion == "1.0.2" || runtimeVersion == "102") ? "tlkWinNm" : "tlkWin";

    if (isLaterWindows(osName)) {
        setCommon(f);
        f.supDriverInfo = true;
        f.maxBitRate = 921600;
    } else if (netware || oneOf(osName, {"Windows 95", "Windows NT", "Windows Server 2012 R2", "Windows 98",
                                         "Windows Me", "Windows CE", "WindowsCE", "OS/2"})) {
        setCommon(f);
        f.noIndexBitRate = osName == "OS/2";
        if (netware) {
            f.getPortList = false;
            f.pollingReadTimeout = true;
        }
    } else if (osName == "Linux") {
        // Our POSIX driver: every line query, control, count, discovery with driver
        // texts and mark/space parity; no power management.
        setCommon(f);
        f.getStatusAPM = false;
        f.instanceLock = false;
        f.supDriverInfo = true;
        f.maxBitRate = 921600;
        f.defaultPortName = "/dev/ttyS0";
        f.libraryName = "tlkPosix";
        return f;
    } else if (oneOf(osName, {"Mac OS"})) {
        f.pollingReadTimeout = true;
        f.defaultPortName = "Modem Port";
        f.libraryName = "tlkMac";
        return f;
    } else if (oneOf(osName, {"Mac OS X", "FreeBSD", "Solaris", "SunOS", "HP-UX", "Irix", "AIX", "OSF1",
                              "UnixWare"})) {
        // Unix systems this application ships no driver for.
        f.defaultPortName = "/dev/ttyS0";
        f.libraryName = "tlkUnix";
        return f;
    } else if (osName == "EPOC") {
        f.defaultPortName = "COM1";
        f.libraryName = "tlkEpoc";
        return f;
    } else if (!isWindows(osName)) {
        return f;
    }
    // Here also a Windows name in neither column (a newer release): it still gets the
    // Windows driver and port names, with no capabilities beyond the initial ones.
    f.windowsPortNames = isWindows(osName);
    f.defaultPortName = (isWindows(osName) || osName == "OS/2") ? "COM1" : "";
    if (isWindows(osName))
        f.libraryName = winLibrary;
    else if (osName == "OS/2")
        f.libraryName = "tlkOS2";
    else
        f.libraryName = "tlkNetWare";
    return f;
}

bool PlatformFeatures::isSupported(const std::string& name) const {
    static const std::pair<const char*, bool PlatformFeatures::*> table[] = {
        {"sigBreak", &PlatformFeatures::sigBreak},
        {"sigFrameErr", &PlatformFeatures::sigFrameErr},
        {"sigOverrun", &PlatformFeatures::sigOverrun},
        {"sigParityErr", &PlatformFeatures::sigParityErr},
        {"rxOverflow", &PlatformFeatures::rxOverflow},
        {"sigRing", &PlatformFeatures::sigRing},
        {"sigCTS", &PlatformFeatures::sigCTS},
        {"sigDSR", &PlatformFeatures::sigDSR},
        {"sigCD", &PlatformFeatures::sigCD},
        {"setRTS", &PlatformFeatures::setRTS},
        {"setDTR", &PlatformFeatures::setDTR},
        {"rxReadyCount", &PlatformFeatures::rxReadyCount},
        {"txBufCount", &PlatformFeatures::txBufCount},
        {"setTimeoutTx", &PlatformFeatures::setTimeoutTx},
        {"sendBreak", &PlatformFeatures::sendBreak},
        {"getPortList", &PlatformFeatures::getPortList},
        {"getStatusAPM", &PlatformFeatures::getStatusAPM},
        {"InstanceLock", &PlatformFeatures::instanceLock},
        {"ParityMarkSpace", &PlatformFeatures::parityMarkSpace},
        {"UnplugPort", &PlatformFeatures::unplugPort},
        {"noIndexBitRate", &PlatformFeatures::noIndexBitRate},
        {"supDriverInfo", &PlatformFeatures::supDriverInfo},
        {"setPowerMode", &PlatformFeatures::setPowerMode},
    };
    for (const auto& [n, member] : table)
        if (name == n)
            return this->*member;
    return false;
}

} // namespace Tarolink
