#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarovex::hid {

// One hidraw node whose descriptor declares a scale (usage page 0x8D, usage 0x20).
struct HidScale {
    std::string node; // "/dev/hidraw3"
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial;
    std::string name; // the product text
    std::string manufacturer;

    // "hid:VVVV:PPPP[:SERIAL]": the same whichever node the next plug-in gets.
    std::string portName() const;
};

// What a "hid:" port name points at: a node, or a device by its USB numbers.
struct ScaleName {
    std::string node;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial; // empty: any

    // Nothing when `name` is neither "hid:/dev/..." nor "hid:VVVV:PPPP[:SERIAL]" in hex.
    static std::optional<ScaleName> parse(const std::string& name);
    bool matches(const HidScale& scale) const;
};

// The hidraw scales present, by udev; their descriptors are read from sysfs, which needs no
// permission on the node.
std::vector<HidScale> listHidScales();

// Whether a report descriptor is a scale's, by its application collection.
bool declaresScale(const std::vector<std::uint8_t>& descriptor);

} // namespace tarovex::hid
