#pragma once

namespace Tarolink {

// Told that a serial device arrived or went away (see SerialPortLocal::registerDeviceNotification).
class DeviceNotificationCallback {
public:
    virtual ~DeviceNotificationCallback() = default;
    // Called on the driver's notification thread, never on the caller's.
    virtual void deviceNotification() = 0;
};

} // namespace Tarolink
