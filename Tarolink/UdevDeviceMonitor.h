#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct udev;
struct udev_monitor;

namespace Tarolink {

// Watches udev for devices of one subsystem (serial: "tty") arriving or going away and calls a
// function on its own thread for each. Without a udev daemon no events come; that is not an error.
class UdevDeviceMonitor {
public:
    explicit UdevDeviceMonitor(std::string subsystem = "tty") : subsystem_(std::move(subsystem)) {}
    ~UdevDeviceMonitor();
    UdevDeviceMonitor(const UdevDeviceMonitor&) = delete;
    UdevDeviceMonitor& operator=(const UdevDeviceMonitor&) = delete;

    // Starts watching (replacing an earlier function); false when udev cannot be set up.
    bool start(std::function<void()> notify);
    // Stops the thread and waits for it; safe when not started.
    void stop();
    bool running() const;

private:
    void run(::udev_monitor* monitor, int stopFd);

    const std::string subsystem_;
    mutable std::mutex mutex_;
    std::thread thread_;
    int stopFd_ = -1;
    ::udev* udev_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
    std::function<void()> notify_;
};

} // namespace Tarolink
