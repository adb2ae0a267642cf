#include "hid/HidrawListing.h"

#include "hid/ScaleReport.h"

#include <libudev.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tarovex::hid {
namespace {

std::string text(const char* s) {
    return s ? std::string(s) : std::string();
}

std::optional<std::uint16_t> hex16(const std::string& s) {
    if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return std::uint16_t(std::stoul(s, nullptr, 16));
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::string HidScale::portName() const {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, product);
    return "hid:" + std::string(ids) + (serial.empty() ? "" : ":" + serial);
}

std::optional<ScaleName> ScaleName::parse(const std::string& name) {
    if (name.rfind("hid:", 0) != 0)
        return std::nullopt;
    const std::string rest = name.substr(4);
    ScaleName n;
    if (rest.rfind("/dev/", 0) == 0) {
        n.node = rest;
        return n;
    }
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    const std::size_t second = rest.find(':', colon + 1);
    const auto vendor = hex16(rest.substr(0, colon));
    const auto product =
        hex16(rest.substr(colon + 1, second == std::string::npos ? second : second - colon - 1));
    if (!vendor || !product)
        return std::nullopt;
    n.vendor = *vendor;
    n.product = *product;
    if (second != std::string::npos)
        n.serial = rest.substr(second + 1);
    return n;
}

bool ScaleName::matches(const HidScale& s) const {
    if (!node.empty())
        return s.node == node;
    return s.vendor == vendor && s.product == product && (serial.empty() || s.serial == serial);
}

bool declaresScale(const std::vector<std::uint8_t>& descriptor) {
    const ReportDescriptor d = ReportDescriptor::parse(descriptor);
    return d.error.empty() &&
           std::find(d.applications.begin(), d.applications.end(), scales::kDevice) != d.applications.end();
}

std::vector<HidScale> listHidScales() {
    std::vector<HidScale> found;
    udev* u = udev_new();
    if (u == nullptr)
        return found;
    udev_enumerate* en = udev_enumerate_new(u);
    if (en && udev_enumerate_add_match_subsystem(en, "hidraw") >= 0 && udev_enumerate_scan_devices(en) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en)) {
            udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
            if (dev == nullptr)
                continue;
            udev_device* hid = udev_device_get_parent_with_subsystem_devtype(dev, "hid", nullptr);
            const char* node = udev_device_get_devnode(dev);
            if (hid && node &&
                declaresScale(fileBytes(text(udev_device_get_syspath(hid)) + "/report_descriptor"))) {
                HidScale s;
                s.node = node;
                // HID_ID is "BUS:VENDOR:PRODUCT", each in hex.
                unsigned bus = 0, vendor = 0, product = 0;
                if (std::sscanf(text(udev_device_get_property_value(hid, "HID_ID")).c_str(), "%x:%x:%x", &bus,
                                &vendor, &product) == 3) {
                    s.vendor = std::uint16_t(vendor);
                    s.product = std::uint16_t(product);
                }
                s.serial = text(udev_device_get_property_value(hid, "HID_UNIQ"));
                if (udev_device* usb =
                        udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device")) {
                    s.name = text(udev_device_get_sysattr_value(usb, "product"));
                    s.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
                }
                if (s.name.empty())
                    s.name = text(udev_device_get_property_value(hid, "HID_NAME"));
                found.push_back(std::move(s));
            }
            udev_device_unref(dev);
        }
    }
    if (en)
        udev_enumerate_unref(en);
    udev_unref(u);
    std::sort(found.begin(), found.end(),
              [](const HidScale& a, const HidScale& b) { return a.node < b.node; });
    return found;
}

} // namespace tarovex::hid
