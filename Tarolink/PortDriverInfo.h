#pragma once

#include <string>

namespace Tarolink {

// What the driver knows of one port: its name and two descriptive texts
// (on Linux: the USB product and manufacturer texts). Immutable.
class PortDriverInfo {
public:
    PortDriverInfo(std::string devName, std::string driverDesc, std::string driverMfgr)
        : devName_(std::move(devName)), driverDesc_(std::move(driverDesc)),
          driverMfgr_(std::move(driverMfgr)) {}

    const std::string& getDevName() const { return devName_; }
    const std::string& getDriverDesc() const { return driverDesc_; }
    const std::string& getDriverMfgr() const { return driverMfgr_; }

    bool operator==(const PortDriverInfo&) const = default;

private:
    std::string devName_;
    std::string driverDesc_;
    std::string driverMfgr_;
};

} // namespace Tarolink
