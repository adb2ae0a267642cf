#pragma once

#include "Tarolink/PortDriverInfo.h"

#include <mutex>
#include <string>
#include <vector>

namespace Tarolink {

// Display names of ports for lists shown to the user, from the driver information of
// SerialPortLocal: "<port>: <manufacturer> - <description>". A port without driver
// information keeps its plain name both ways. Thread-safe.
class FriendlyPortUtil {
public:
    // Fills the cache from SerialPortLocal::getDriverInfoList(); throws what that throws
    // ("Not supported on this platform", "Must call SerialPortLocal.getPortList method first").
    static void prepare();
    // Fills the cache with `info` (for tests and other sources).
    static void setDriverInfo(std::vector<PortDriverInfo> info);
    // Empties the cache.
    static void clear();

    // The display name of the first cached entry named `portName`, else `portName`.
    static std::string getFriendlyPortName(const std::string& portName);
    // The port name of the first cached entry shown as `displayName`, else `displayName`.
    static std::string getUnfriendlyPortName(const std::string& displayName);
    // The display names of all cached entries, in cache order.
    static std::vector<std::string> getFriendlyPortList();
    // "%s: %s - %s" of port name, manufacturer (third text), description (second text).
    static std::string displayName(const PortDriverInfo& info);

private:
    static std::mutex mutex_;
    static std::vector<PortDriverInfo> cache_;
};

} // namespace Tarolink
