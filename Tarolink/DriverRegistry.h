#pragma once

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
};

} // namespace Tarolink
