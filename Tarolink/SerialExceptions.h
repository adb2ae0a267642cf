#pragma once

#include <stdexcept>
#include <string>

namespace Tarolink {

// The two error kinds of the serial library. Callers tell them apart by type:
// an I/O failure of the device or driver, or a value the caller should not have passed.

// The port or the driver failed; carries the library's fixed English text.
class PortIOException : public std::runtime_error {
public:
    explicit PortIOException(const std::string& message) : std::runtime_error(message) {}
};

// A setting or argument was refused before anything was changed.
class PortArgumentException : public std::invalid_argument {
public:
    explicit PortArgumentException(const std::string& message) : std::invalid_argument(message) {}
};

} // namespace Tarolink
