#include "Tarolink/DriverRegistry.h"

#include "Tarolink/PosixSerialDriver.h"

namespace Tarolink {

std::shared_ptr<SerialDriver> DriverRegistry::load(const std::string& libraryName, std::string& error) {
    if (libraryName == "tlkPosix")
        return std::make_shared<PosixSerialDriver>();
    error = "no " + libraryName + " in library path";
    return nullptr;
}

} // namespace Tarolink
