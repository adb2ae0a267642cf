#pragma once

#include <functional>
#include <memory>
#include <string>

namespace Tarolink {

class SerialDriver;

// The native driver libraries built into this program, found by library name (the way
// the platform's loader would find them on the library path).
class DriverRegistry {
public:
    // The driver named `libraryName`, or null with `error` set when there is none.
    static std::shared_ptr<SerialDriver> load(const std::string& libraryName, std::string& error);
    // The driver of "hid:" ports, made at the next load. It lives outside this library, which
    // has no part in decoding a scale's reports.
    static void setScaleDriver(std::function<std::shared_ptr<SerialDriver>()> make);
};

} // namespace Tarolink
