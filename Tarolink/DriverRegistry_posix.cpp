#include "Tarolink/DriverRegistry.h"

#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/RoutingDriver.h"

namespace Tarolink {

namespace {

std::function<std::shared_ptr<SerialDriver>()>& scaleDriverMaker() {
    static std::function<std::shared_ptr<SerialDriver>()> make;
    return make;
}

} // namespace

void DriverRegistry::setScaleDriver(std::function<std::shared_ptr<SerialDriver>()> make) {
    scaleDriverMaker() = std::move(make);
}

std::shared_ptr<SerialDriver> DriverRegistry::load(const std::string& libraryName, std::string& error) {
    // Device nodes through termios; "tcp://" and "rfc2217://" names over the network; "hid:"
    // names to the scale driver, where the program has set one.
    if (libraryName == "tlkPosix") {
        const auto& makeScale = scaleDriverMaker();
        return std::make_shared<RoutingDriver>(std::make_shared<PosixSerialDriver>(),
                                               std::make_shared<NetworkSerialDriver>(),
                                               makeScale ? makeScale() : nullptr);
    }
    error = "no " + libraryName + " in library path";
    return nullptr;
}

} // namespace Tarolink
