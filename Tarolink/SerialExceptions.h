#pragma once

#include <stdexcept>
#include <string>

namespace Tarolink {

// The two error kinds of the serial library. Callers tell them apart by type:
// an I/O failure of the device or driver, or a value the caller should not have passed.

// The port or the driver failed. what() is the library's fixed English text, which callers
// may compare; when a system call failed, its error number travels beside it.
class PortIOException : public std::runtime_error {
public:
    explicit PortIOException(const std::string& message, int systemError = 0, int openCode = 0)
        : std::runtime_error(message), systemError_(systemError), openCode_(openCode) {}

    // The errno of the failed system call, 0 when the failure had none behind it.
    int systemError() const { return systemError_; }
    // The driver's open code (SerialDriver::IN_USE, NO_ANSWER, ...) when an open failed, else 0:
    // callers word the failure themselves without reading what().
    int openCode() const { return openCode_; }
    // The system's own text for systemError() ("No such file or directory"), "" for 0.
    std::string systemMessage() const;

private:
    int systemError_;
    int openCode_;
};

// The OS name has no driver at all. The library does not end the process: the program
// decides (its exit status for this is -1).
class PlatformNotSupportedException : public PortIOException {
public:
    PlatformNotSupportedException() : PortIOException(text) {}
    // Fixed text.
    static constexpr const char* text = "Platform not supported, check VM properties os.name & os.arch";
};

// A setting or argument was refused before anything was changed.
class PortArgumentException : public std::invalid_argument {
public:
    explicit PortArgumentException(const std::string& message) : std::invalid_argument(message) {}
};

// The text for a log: what(), followed by the system's message in parentheses when the
// error is a PortIOException that carries one ("...: 2: No such device (No such file or
// directory)").
std::string describe(const std::exception& e);

} // namespace Tarolink
