#include "Tarolink/UdevDeviceMonitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Tarolink {

UdevDeviceMonitor::~UdevDeviceMonitor() {
    stop();
}

bool UdevDeviceMonitor::start(std::function<void()> notify) {
    stop();
    std::lock_guard lock(mutex_);
    udev_ = udev_new();
    if (udev_ == nullptr)
        return false;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem_.c_str(), nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        if (monitor_)
            udev_monitor_unref(monitor_);
        udev_unref(udev_);
        monitor_ = nullptr;
        udev_ = nullptr;
        return false;
    }
    stopFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd_ < 0) {
        // A thread we could not stop would hang stop() and every later start().
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
        monitor_ = nullptr;
        udev_ = nullptr;
        return false;
    }
    notify_ = std::move(notify);
    thread_ = std::thread(&UdevDeviceMonitor::run, this, monitor_, stopFd_);
    return true;
}

void UdevDeviceMonitor::stop() {
    std::thread t;
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
        t = std::move(thread_);
    }
    t.join();
    std::lock_guard lock(mutex_);
    ::close(stopFd_);
    stopFd_ = -1;
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
    monitor_ = nullptr;
    udev_ = nullptr;
    notify_ = nullptr;
}

bool UdevDeviceMonitor::running() const {
    std::lock_guard lock(mutex_);
    return thread_.joinable();
}

void UdevDeviceMonitor::run(udev_monitor* monitor, int stopFd) {
    const int monitorFd = udev_monitor_get_fd(monitor);
    for (;;) {
        pollfd fds[2] = {{monitorFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents & POLLIN) {
            udev_device* dev = udev_monitor_receive_device(monitor);
            if (dev == nullptr)
                continue;
            const char* action = udev_device_get_action(dev);
            const bool relevant =
                action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
            udev_device_unref(dev);
            if (relevant && notify_)
                notify_();
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            return;
        }
    }
}

} // namespace Tarolink
