#include "hid/HidScaleDriver.h"

#include "Tarolink/Diagnostics.h"
#include "Tarolink/DriverRegistry.h"
#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SerialConfig.h"
#include "hid/HidrawDevice.h"
#include "hid/ScaleLines.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarovex::hid {

using Tarolink::diagnostic;

struct HidScaleDriver::Port {
    // Spelled out: parenthesised aggregate initialisation is beyond some compilers still.
    Port(std::string name, std::string node, std::unique_ptr<HidDevice> device,
         std::optional<std::vector<std::uint8_t>> zero, ScaleLines lines)
        : name(std::move(name)), node(std::move(node)), device(std::move(device)), zero(std::move(zero)),
          lines(std::move(lines)) {}
    std::string name;
    std::string node;
    std::unique_ptr<HidDevice> device;
    std::optional<std::vector<std::uint8_t>> zero; // the report that zeroes it, if it has one
    ScaleLines lines;
    std::mutex mutex; // the lines waiting and the state below
    std::string pending;
    bool gone = false;
};

namespace {

thread_local int tLastError = 0;

int openCode(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return HidScaleDriver::PERMISSION;
    case ENOENT:
        return HidScaleDriver::NO_SUCH_FILE;
    case EBUSY:
        return HidScaleDriver::BUSY;
    case ENODEV:
    case ENXIO:
        return HidScaleDriver::NO_DEVICE;
    default:
        return HidScaleDriver::OTHER_ERROR;
    }
}

} // namespace

HidScaleDriver::HidScaleDriver() : HidScaleDriver(Access{&HidrawDevice::open, &listHidScales}) {}

HidScaleDriver::HidScaleDriver(Access access)
    : access_(access), next_(Tarolink::RoutingDriver::kFirstScalePort) {}

HidScaleDriver::~HidScaleDriver() {
    monitor_.stop();
}

int HidScaleDriver::SerGetLastError() {
    return tLastError;
}

std::shared_ptr<HidScaleDriver::Port> HidScaleDriver::find(int port) const {
    std::lock_guard lock(mutex_);
    const auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second;
}

int HidScaleDriver::SerOpenPort(Tarolink::SerialConfig& config) {
    tLastError = 0;
    const std::string name = config.getPortNameString();
    const auto wanted = ScaleName::parse(name);
    if (!wanted) {
        diagnostic(name + ": a USB scale is named hid:/dev/hidrawN or hid:VENDOR:PRODUCT[:SERIAL] in hex");
        return NOT_VALID;
    }
    std::string node = wanted->node;
    if (node.empty()) {
        const auto scales = access_.list();
        const auto it =
            std::find_if(scales.begin(), scales.end(), [&](const HidScale& s) { return wanted->matches(s); });
        bool said = false;
        {
            std::lock_guard lock(mutex_);
            said = missing_ == name;
            if (it == scales.end())
                missing_ = name;
            else if (said)
                missing_.clear();
        }
        if (it == scales.end()) {
            if (!said)
                diagnostic(name + ": no USB scale with these numbers is plugged in");
            return NO_SUCH_FILE;
        }
        node = it->node;
    }
    {
        std::lock_guard lock(mutex_);
        for (const auto& [number, p] : ports_)
            if (p->node == node)
                return ALREADY_OPEN;
    }
    int error = 0;
    std::unique_ptr<HidDevice> device = access_.open(node, error);
    if (!device) {
        tLastError = error;
        return openCode(error);
    }
    const std::vector<std::uint8_t> bytes = device->descriptor(error);
    if (bytes.empty()) {
        tLastError = error;
        diagnostic(name + ": its report descriptor cannot be read: " + std::strerror(error));
        return OTHER_ERROR;
    }
    auto layout = ScaleLayout::of(ReportDescriptor::parse(bytes));
    if (const auto* why = std::get_if<QString>(&layout)) {
        diagnostic(name + " (" + node + "): " + why->toStdString());
        return NOT_A_SCALE;
    }
    auto zero = std::get<ScaleLayout>(layout).zeroReport();
    auto port =
        std::make_shared<Port>(name, node, std::move(device), std::move(zero),
                               ScaleLines(std::get<ScaleLayout>(std::move(layout)), config.getEveryReport()));
    std::lock_guard lock(mutex_);
    const int number = next_++;
    ports_[number] = std::move(port);
    config.setPortNum(number + 1);
    return OK;
}

int HidScaleDriver::SerConfigure(const Tarolink::SerialConfig& config) {
    // Baud rate, parity and the rest mean nothing to a USB scale.
    return open(config.getPort() - 1) ? 0 : -1;
}

int HidScaleDriver::SerClosePort(int port) {
    std::shared_ptr<Port> p;
    {
        std::lock_guard lock(mutex_);
        const auto it = ports_.find(port);
        if (it == ports_.end())
            return -1;
        p = std::move(it->second);
        ports_.erase(it);
    }
    p->device->wake();
    return 0;
}

int HidScaleDriver::SerGetData(int port, std::uint8_t* buffer, int count) {
    const auto p = find(port);
    if (!p || count < 0)
        return -1;
    std::lock_guard lock(p->mutex);
    const int n = std::min(count, int(p->pending.size()));
    std::memcpy(buffer, p->pending.data(), std::size_t(n));
    p->pending.erase(0, std::size_t(n));
    return n;
}

int HidScaleDriver::SerGetByte(int port) {
    std::uint8_t b = 0;
    return SerGetData(port, &b, 1) == 1 ? b : -1;
}

int HidScaleDriver::SerPutData(int port, const std::uint8_t* buffer, int count) {
    const auto p = find(port);
    if (!p || count < 0)
        return -1;
    // The one request a USB scale may take is its zero control, asked for as "Z".
    std::string asked(reinterpret_cast<const char*>(buffer), std::size_t(count));
    while (!asked.empty() && (asked.back() == '\r' || asked.back() == '\n'))
        asked.pop_back();
    if (asked != kZeroRequest) {
        diagnostic(p->name +
                   ": a USB scale takes no requests but zero (\"Z\"); the HID scale usages define no tare");
        return -1;
    }
    if (!p->zero) {
        diagnostic(p->name + ": this scale declares no zero control");
        return -1;
    }
    if (const int error = p->device->write(*p->zero)) {
        tLastError = error;
        diagnostic(p->name + ": the zero report was refused: " + std::strerror(error));
        return -1;
    }
    return count;
}

int HidScaleDriver::SerRxReadyCount(int port) {
    const auto p = find(port);
    if (!p)
        return -1;
    std::lock_guard lock(p->mutex);
    return int(p->pending.size());
}

int HidScaleDriver::SerRxFlush(int port) {
    const auto p = find(port);
    if (!p)
        return -1;
    std::lock_guard lock(p->mutex);
    p->pending.clear();
    return 0;
}

int HidScaleDriver::SerGetPortList(std::vector<std::string>& names,
                                   std::vector<Tarolink::PortDriverInfo>& info) {
    for (const HidScale& s : access_.list()) {
        names.push_back(s.portName());
        info.emplace_back(s.portName(), s.name, s.manufacturer);
    }
    return 0;
}

int HidScaleDriver::SerRegisterDeviceNotification(std::function<void()> notify) {
    // Without udev no events come, as for serial devices.
    monitor_.start(std::move(notify));
    return 0;
}

int HidScaleDriver::SerUnregisterDeviceNotification() {
    monitor_.stop();
    return 0;
}

std::string HidScaleDriver::SerGetName(int port) {
    const auto p = find(port);
    return p ? p->node : std::string();
}

int HidScaleDriver::SerWaitForData(int port, int timeoutMs) {
    const auto p = find(port);
    if (!p)
        return -1;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        {
            std::lock_guard lock(p->mutex);
            if (!p->pending.empty())
                return WAIT_DATA;
            if (p->gone)
                return WAIT_GONE;
        }
        int left = -1;
        if (timeoutMs >= 0)
            left = int(std::max<Clock::rep>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
        const HidDevice::Read r = p->device->read(left);
        switch (r.kind) {
        case HidDevice::Read::Kind::TimedOut:
            return WAIT_TIMEOUT;
        case HidDevice::Read::Kind::Woken:
            return WAIT_WOKEN;
        case HidDevice::Read::Kind::Failed: {
            tLastError = r.error;
            std::lock_guard lock(p->mutex);
            p->gone = true;
            break;
        }
        case HidDevice::Read::Kind::Report: {
            std::lock_guard lock(p->mutex);
            p->pending += p->lines.take(r.report);
            break;
        }
        }
    }
}

int HidScaleDriver::SerWakeUp(int port) {
    const auto p = find(port);
    if (!p)
        return -1;
    p->device->wake();
    return 0;
}

int HidScaleDriver::SerIsGone(int port) {
    const auto p = find(port);
    if (!p)
        return -1;
    std::lock_guard lock(p->mutex);
    return p->gone && p->pending.empty() ? 1 : 0;
}

void installScaleDriver() {
    Tarolink::DriverRegistry::setScaleDriver([] { return std::make_shared<HidScaleDriver>(); });
}

} // namespace tarovex::hid
