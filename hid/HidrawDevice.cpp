#include "hid/HidrawDevice.h"

#include <linux/hidraw.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tarovex::hid {

std::unique_ptr<HidDevice> HidrawDevice::open(const std::string& node, int& error) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<HidDevice>(new HidrawDevice(fd, wakeFd));
}

HidrawDevice::~HidrawDevice() {
    ::close(fd_);
    ::close(wakeFd_);
}

std::vector<std::uint8_t> HidrawDevice::descriptor(int& error) {
    int size = 0;
    hidraw_report_descriptor d{};
    if (::ioctl(fd_, HIDIOCGRDESCSIZE, &size) < 0 || size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        error = errno ? errno : EINVAL;
        return {};
    }
    d.size = std::uint32_t(size);
    if (::ioctl(fd_, HIDIOCGRDESC, &d) < 0) {
        error = errno;
        return {};
    }
    return {d.value, d.value + d.size};
}

HidDevice::Read HidrawDevice::read(int timeoutMs) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    if (n < 0)
        return errno == EINTR ? Read{} : Read{Read::Kind::Failed, {}, errno};
    if (n == 0)
        return {};
    if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        (void)!::read(wakeFd_, &count, sizeof count);
        return {Read::Kind::Woken, {}, 0};
    }
    // An unplugged node wakes poll with POLLHUP and POLLERR, and its read fails with EIO.
    std::vector<std::uint8_t> report(HID_MAX_DESCRIPTOR_SIZE);
    const ssize_t got = ::read(fd_, report.data(), report.size());
    if (got < 0)
        return errno == EAGAIN ? Read{} : Read{Read::Kind::Failed, {}, errno};
    if (got == 0)
        return {Read::Kind::Failed, {}, ENODEV};
    report.resize(std::size_t(got));
    return {Read::Kind::Report, std::move(report), 0};
}

int HidrawDevice::write(std::span<const std::uint8_t> report) {
    return ::write(fd_, report.data(), report.size()) == ssize_t(report.size()) ? 0 : errno;
}

void HidrawDevice::wake() {
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

} // namespace tarovex::hid
