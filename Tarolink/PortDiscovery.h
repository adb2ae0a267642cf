#pragma once

#include <memory>
#include <string>
#include <vector>

namespace Tarolink {

// One serial device found on the machine.
struct DiscoveredPort {
    std::string devName;      // device node, "/dev/ttyUSB0"
    std::string product;      // USB product text, empty when not a USB device
    std::string manufacturer; // USB manufacturer text, empty when not a USB device

    bool operator==(const DiscoveredPort&) const = default;
};

// Lists the serial devices of the machine: only devices with hardware behind them
// (no virtual consoles, no unused legacy ttyS slots), in natural name order.
class PortDiscovery {
public:
    virtual ~PortDiscovery() = default;
    virtual std::vector<DiscoveredPort> listPorts() = 0;

    // udev when it answers, sysfs otherwise.
    static std::vector<DiscoveredPort> listSystemPorts();
};

// Reads /sys/class/tty directly; the fallback when udev is unavailable.
class SysfsPortDiscovery : public PortDiscovery {
public:
    explicit SysfsPortDiscovery(std::string classDir = "/sys/class/tty", std::string devDir = "/dev");
    std::vector<DiscoveredPort> listPorts() override;

private:
    std::string classDir_;
    std::string devDir_;
};

// Enumerates the "tty" subsystem through libudev.
class UdevPortDiscovery : public PortDiscovery {
public:
    std::vector<DiscoveredPort> listPorts() override;
    // False when libudev could not be set up; listPorts() then returns nothing.
    bool available() const { return available_; }

private:
    bool available_ = true;
};

// Sorts by device name with naturalLess.
void sortPorts(std::vector<DiscoveredPort>& ports);

// A serial-core port whose UART type is 0 (PORT_UNKNOWN) is an unused slot, such as the
// ttyS1..ttyS31 the 8250 driver registers whether or not hardware is there.
bool isUnusedSerialSlot(const std::string& typeAttribute);

} // namespace Tarolink
