#include "tarovex/ports/PortWatcher.h"

#include "Tarolink/SerialPortLocal.h"

namespace tarovex::ports {

PortWatcher::PortWatcher(QObject* parent) : QObject(parent) {
    try {
        Tarolink::SerialPortLocal::registerDeviceNotification(this);
    } catch (const std::exception&) {
        // No driver, no notifications: Refresh is still there.
    }
}

PortWatcher::~PortWatcher() {
    try {
        Tarolink::SerialPortLocal::unregisterDeviceNotification();
    } catch (const std::exception&) {
    }
}

void PortWatcher::deviceNotification() {
    // The driver's thread: the signal goes out on ours.
    QMetaObject::invokeMethod(this, &PortWatcher::portsChanged, Qt::QueuedConnection);
}

} // namespace tarovex::ports
