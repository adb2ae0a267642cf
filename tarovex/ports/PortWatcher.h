#pragma once

#include "Tarolink/DeviceNotificationCallback.h"

#include <QObject>

namespace tarovex::ports {

// Tells its thread when a serial device arrives or goes away, through the serial library's
// device notifications. One at a time per process: the library keeps one callback.
class PortWatcher : public QObject, private Tarolink::DeviceNotificationCallback {
    Q_OBJECT

public:
    explicit PortWatcher(QObject* parent = nullptr);
    // Unregisters; after that no notification reaches this object.
    ~PortWatcher() override;

signals:
    // On the thread this object lives on.
    void portsChanged();

private:
    void deviceNotification() override;
};

} // namespace tarovex::ports
