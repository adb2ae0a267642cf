#pragma once

#include <cstdint>

namespace Tarolink {

// Told about a failed SerialPort::rxReadyCount (code 10) instead of an exception.
class ErrorStatusHandler {
public:
    virtual ~ErrorStatusHandler() = default;
    // Called on the thread that made the failing call.
    virtual void errorEvent(std::int32_t code) = 0;
};

} // namespace Tarolink
