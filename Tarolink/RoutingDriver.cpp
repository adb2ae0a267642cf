#include "Tarolink/RoutingDriver.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/SerialConfig.h"

namespace Tarolink {

namespace {

thread_local SerialDriver* tLastUsed = nullptr;

} // namespace

RoutingDriver::RoutingDriver(std::shared_ptr<SerialDriver> local, std::shared_ptr<SerialDriver> network)
    : local_(std::move(local)), network_(std::move(network)) {}

SerialDriver& RoutingDriver::at(int port) {
    tLastUsed = port >= NetworkSerialDriver::kFirstPort ? network_.get() : local_.get();
    return *tLastUsed;
}

SerialDriver& RoutingDriver::local(SerialDriver& d) {
    tLastUsed = &d;
    return d;
}

int RoutingDriver::SerGetLastError() {
    return tLastUsed ? tLastUsed->SerGetLastError() : 0;
}

int RoutingDriver::SerOpenPort(SerialConfig& config) {
    const bool network = NetworkAddress::isNetworkName(config.getPortNameString());
    return local(network ? *network_ : *local_).SerOpenPort(config);
}

int RoutingDriver::SerConfigure(const SerialConfig& config) {
    return at(config.getPort() - 1).SerConfigure(config);
}

} // namespace Tarolink
