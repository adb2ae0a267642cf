#include "Tarolink/PortDiscovery.h"

#include <libudev.h>

#include <cstring>

namespace Tarolink {

namespace {

std::string text(const char* s) {
    return s ? std::string(s) : std::string();
}

} // namespace

std::vector<DiscoveredPort> UdevPortDiscovery::listPorts() {
    std::vector<DiscoveredPort> ports;
    udev* u = udev_new();
    if (u == nullptr) {
        available_ = false;
        return ports;
    }
    udev_enumerate* en = udev_enumerate_new(u);
    if (en == nullptr || udev_enumerate_add_match_subsystem(en, "tty") < 0 ||
        udev_enumerate_scan_devices(en) < 0) {
        available_ = false;
        if (en)
            udev_enumerate_unref(en);
        udev_unref(u);
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en)) {
        udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (dev == nullptr)
            continue;
        const char* node = udev_device_get_devnode(dev);
        // No parent device: a virtual terminal or ptmx, not a serial line.
        if (node != nullptr && udev_device_get_parent(dev) != nullptr) {
            const char* type = udev_device_get_sysattr_value(dev, "type");
            if (type == nullptr || !isUnusedSerialSlot(type)) {
                DiscoveredPort port{node, {}, {}};
                if (udev_device* usb =
                        udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device")) {
                    port.product = text(udev_device_get_sysattr_value(usb, "product"));
                    port.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
                }
                if (port.product.empty())
                    port.product = text(udev_device_get_property_value(dev, "ID_MODEL_FROM_DATABASE"));
                if (port.manufacturer.empty())
                    port.manufacturer = text(udev_device_get_property_value(dev, "ID_VENDOR_FROM_DATABASE"));
                ports.push_back(std::move(port));
            }
        }
        udev_device_unref(dev);
    }
    udev_enumerate_unref(en);
    udev_unref(u);
    sortPorts(ports);
    return ports;
}

} // namespace Tarolink
