#include "Tarolink/DriverRegistry.h"

#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/RoutingDriver.h"

namespace Tarolink {

std::shared_ptr<SerialDriver> DriverRegistry::load(const std::string& libraryName, std::string& error) {
    // Device nodes through termios; "tcp://" and "rfc2217://" names over the network.
    if (libraryName == "tlkPosix")
        return std::make_shared<RoutingDriver>(std::make_shared<PosixSerialDriver>(),
                                               std::make_shared<NetworkSerialDriver>());
    error = "no " + libraryName + " in library path";
    return nullptr;
}

} // namespace Tarolink
