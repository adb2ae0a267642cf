#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarovex::hid {

// One opened HID device as the scale driver uses it: the real one is a hidraw node, the tests
// bring one fed with report bytes.
class HidDevice {
public:
    // What one read found: a report, nothing in time, a wake-up, or the errno that ended it.
    struct Read {
        enum class Kind : std::uint8_t { Report, TimedOut, Woken, Failed } kind = Kind::TimedOut;
        std::vector<std::uint8_t> report;
        int error = 0;
    };

    virtual ~HidDevice() = default;
    // The report descriptor; empty with errno in `error` when it cannot be read.
    virtual std::vector<std::uint8_t> descriptor(int& error) = 0;
    // Waits up to `timeoutMs` (< 0: no limit) for the next input report.
    virtual Read read(int timeoutMs) = 0;
    // Sends an output report (its ID byte first); 0 or the errno.
    virtual int write(std::span<const std::uint8_t> report) = 0;
    // Ends a current read at once, or the next one. Any thread.
    virtual void wake() = 0;
};

// Opens the device node; null with errno in `error` when it cannot.
using HidOpener = std::unique_ptr<HidDevice> (*)(const std::string& node, int& error);

} // namespace tarovex::hid
