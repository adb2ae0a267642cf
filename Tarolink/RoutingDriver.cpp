#include "Tarolink/RoutingDriver.h"

#include "Tarolink/Diagnostics.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/SerialConfig.h"

namespace Tarolink {

namespace {

thread_local SerialDriver* tLastUsed = nullptr;

} // namespace

RoutingDriver::RoutingDriver(std::shared_ptr<SerialDriver> local, std::shared_ptr<SerialDriver> network,
                             std::shared_ptr<SerialDriver> scale)
    : local_(std::move(local)), network_(std::move(network)), scale_(std::move(scale)) {}

SerialDriver& RoutingDriver::at(int port) {
    if (port >= kFirstScalePort && scale_)
        tLastUsed = scale_.get();
    else
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
    if (isScaleName(config.getPortNameString())) {
        if (scale_)
            return local(*scale_).SerOpenPort(config);
        local(*local_);
        diagnostic(config.getPortNameString() + ": USB scales are not read by this program");
        return NOT_VALID;
    }
    const bool network = NetworkAddress::isNetworkName(config.getPortNameString());
    return local(network ? *network_ : *local_).SerOpenPort(config);
}

int RoutingDriver::SerConfigure(const SerialConfig& config) {
    return at(config.getPort() - 1).SerConfigure(config);
}

int RoutingDriver::SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) {
    const int result = local(*local_).SerGetPortList(names, info);
    if (result == 0 && scale_)
        return local(*scale_).SerGetPortList(names, info);
    return result;
}

int RoutingDriver::SerRegisterDeviceNotification(std::function<void()> notify) {
    if (scale_)
        scale_->SerRegisterDeviceNotification(notify);
    return local(*local_).SerRegisterDeviceNotification(std::move(notify));
}

int RoutingDriver::SerUnregisterDeviceNotification() {
    if (scale_)
        scale_->SerUnregisterDeviceNotification();
    return local(*local_).SerUnregisterDeviceNotification();
}

} // namespace Tarolink
