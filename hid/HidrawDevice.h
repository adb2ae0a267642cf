#pragma once

#include "hid/HidDevice.h"

namespace tarovex::hid {

// A /dev/hidraw* node read directly: no libusb, no driver to detach.
class HidrawDevice : public HidDevice {
public:
    static std::unique_ptr<HidDevice> open(const std::string& node, int& error);
    ~HidrawDevice() override;

    std::vector<std::uint8_t> descriptor(int& error) override;
    Read read(int timeoutMs) override;
    int write(std::span<const std::uint8_t> report) override;
    void wake() override;

private:
    HidrawDevice(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}
    int fd_;
    int wakeFd_;
};

} // namespace tarovex::hid
