#include "Tarolink/PortDiscovery.h"
#include "Tarolink/PortNameOrder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace Tarolink {

namespace {

std::string trimmed(std::string s) {
    const auto notSpace = [](unsigned char c) { return c > ' '; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string readAttribute(const fs::path& file) {
    std::ifstream in(file);
    if (!in)
        return {};
    std::string line;
    std::getline(in, line);
    return trimmed(line);
}

} // namespace

bool isUnusedSerialSlot(const std::string& typeAttribute) {
    return trimmed(typeAttribute) == "0";
}

void sortPorts(std::vector<DiscoveredPort>& ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const DiscoveredPort& a, const DiscoveredPort& b) {
        return naturalLess(a.devName, b.devName);
    });
}

SysfsPortDiscovery::SysfsPortDiscovery(std::string classDir, std::string devDir)
    : classDir_(std::move(classDir)), devDir_(std::move(devDir)) {}

std::vector<DiscoveredPort> SysfsPortDiscovery::listPorts() {
    std::vector<DiscoveredPort> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(classDir_, ec)) {
        const fs::path dir = entry.path();
        // Virtual terminals, ptmx and the like have no device behind them.
        std::error_code linkEc;
        if (!fs::exists(dir / "device", linkEc))
            continue;
        if (fs::exists(dir / "type", linkEc) && isUnusedSerialSlot(readAttribute(dir / "type")))
            continue;
        const fs::path node = fs::path(devDir_) / dir.filename();
        if (!fs::exists(node, linkEc))
            continue;

        DiscoveredPort port{node.string(), {}, {}};
        // The USB device carries the texts; it sits a few levels above the tty's device
        // (interface, then device). Stop at the first directory that has either.
        fs::path up = fs::canonical(dir / "device", linkEc);
        for (int level = 0; !linkEc && level < 4 && up.has_parent_path(); ++level, up = up.parent_path()) {
            if (fs::exists(up / "product", linkEc) || fs::exists(up / "manufacturer", linkEc)) {
                port.product = readAttribute(up / "product");
                port.manufacturer = readAttribute(up / "manufacturer");
                break;
            }
        }
        ports.push_back(std::move(port));
    }
    sortPorts(ports);
    return ports;
}

std::vector<DiscoveredPort> PortDiscovery::listSystemPorts() {
    UdevPortDiscovery udev;
    auto ports = udev.listPorts();
    if (udev.available())
        return ports;
    return SysfsPortDiscovery().listPorts();
}

} // namespace Tarolink
