#include "tests/support/SimulatedDriver.h"

#include <chrono>
#include <thread>

namespace Tarolink {

void SimulatedDriver::addPort(const std::string& name, const std::string& desc, const std::string& mfgr) {
    std::lock_guard l(mutex_);
    if (!devices_.count(name))
        order_.push_back(name);
    Device& d = devices_[name];
    d.desc = desc;
    d.mfgr = mfgr;
}

void SimulatedDriver::receive(const std::string& name, const std::vector<std::uint8_t>& bytes,
                              ByteError error) {
    {
        std::lock_guard l(mutex_);
        Device& d = devices_[name];
        for (auto b : bytes)
            d.rx.emplace_back(b, error);
    }
    changed_.notify_all();
}

void SimulatedDriver::setLoopback(const std::string& name, bool rtsToCts, bool dtrToDsr) {
    std::lock_guard l(mutex_);
    devices_[name].loopRts = rtsToCts;
    devices_[name].loopDtr = dtrToDsr;
}

void SimulatedDriver::setInputLines(const std::string& name, bool cts, bool dsr, bool cd, bool ring) {
    std::lock_guard l(mutex_);
    Device& d = devices_[name];
    d.cts = cts;
    d.dsr = dsr;
    d.cd = cd;
    d.ring = ring;
}

void SimulatedDriver::setReadFailure(const std::string& name, bool fail) {
    std::lock_guard l(mutex_);
    devices_[name].readFails = fail;
}

void SimulatedDriver::vanish(const std::string& name) {
    {
        std::lock_guard l(mutex_);
        devices_[name].vanished = true;
    }
    changed_.notify_all();
}

void SimulatedDriver::setHeldElsewhere(const std::string& name, bool held) {
    std::lock_guard l(mutex_);
    devices_[name].held = held;
}

void SimulatedDriver::setWriteLimit(const std::string& name, int limit) {
    std::lock_guard l(mutex_);
    devices_[name].writeLimit = limit;
}

void SimulatedDriver::setOpenResult(const std::string& name, int code) {
    std::lock_guard l(mutex_);
    devices_[name].openResult = code;
}

std::vector<std::uint8_t> SimulatedDriver::sent(const std::string& name) const {
    std::lock_guard l(mutex_);
    const Device* d = byName(name);
    return d ? d->sent : std::vector<std::uint8_t>{};
}

bool SimulatedDriver::rts(const std::string& name) const {
    std::lock_guard l(mutex_);
    const Device* d = byName(name);
    return d && d->rts;
}

bool SimulatedDriver::dtr(const std::string& name) const {
    std::lock_guard l(mutex_);
    const Device* d = byName(name);
    return d && d->dtr;
}

bool SimulatedDriver::isOpen(const std::string& name) const {
    std::lock_guard l(mutex_);
    const Device* d = byName(name);
    return d && d->openAs >= 0;
}

std::optional<SerialConfig> SimulatedDriver::lastConfig(const std::string& name) const {
    std::lock_guard l(mutex_);
    const Device* d = byName(name);
    return d ? d->config : std::nullopt;
}

void SimulatedDriver::announceDeviceChange() {
    std::function<void()> f;
    {
        std::lock_guard l(mutex_);
        f = notify_;
    }
    if (f)
        std::thread(f).join();
}

const SimulatedDriver::Device* SimulatedDriver::byName(const std::string& name) const {
    const auto it = devices_.find(name);
    return it == devices_.end() ? nullptr : &it->second;
}

SimulatedDriver::Device* SimulatedDriver::byPort(int port) {
    if (port < 0)
        return nullptr;
    for (auto& [n, d] : devices_)
        if (d.openAs == port)
            return &d;
    return nullptr;
}

int SimulatedDriver::SerOpenPort(SerialConfig& config) {
    std::lock_guard l(mutex_);
    const auto it = devices_.find(config.getPortNameString());
    if (it == devices_.end())
        return NO_SUCH_FILE;
    Device& d = it->second;
    if (d.openResult != 0)
        return d.openResult;
    if (d.vanished)
        return NO_DEVICE;
    if (d.held)
        return IN_USE;
    if (d.openAs >= 0)
        return ALREADY_OPEN;
    int number = 0;
    while (byPort(number))
        ++number;
    d.openAs = number;
    d.rts = d.dtr = false;
    d.wake = false;
    d.last = ByteError::None;
    config.setPortNum(number + 1);
    return OK;
}

int SimulatedDriver::SerConfigure(const SerialConfig& config) {
    std::lock_guard l(mutex_);
    ++configureCount_;
    if (configureResult_ != 0)
        return configureResult_;
    Device* d = byPort(config.getPort() - 1);
    if (!d)
        return -1;
    d->config = config;
    return OK;
}

int SimulatedDriver::SerClosePort(int port) {
    {
        std::lock_guard l(mutex_);
        Device* d = byPort(port);
        if (!d)
            return -1;
        d->openAs = -1;
        d->wake = true;
    }
    changed_.notify_all();
    std::lock_guard l(mutex_);
    return closeResult_;
}

int SimulatedDriver::SerGetData(int port, std::uint8_t* buffer, int count) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->readFails)
        return -1;
    int n = 0;
    while (n < count && !d->rx.empty()) {
        buffer[n++] = d->rx.front().first;
        d->last = d->rx.front().second;
        d->rx.pop_front();
    }
    return n;
}

int SimulatedDriver::SerPutData(int port, const std::uint8_t* buffer, int count) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->writeLimit == -2 || d->vanished)
        return -1;
    const int n = d->writeLimit >= 0 && d->writeLimit < count ? d->writeLimit : count;
    d->sent.insert(d->sent.end(), buffer, buffer + n);
    return n;
}

int SimulatedDriver::SerGetByte(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->readFails || d->rx.empty())
        return -1;
    const auto [value, error] = d->rx.front();
    d->rx.pop_front();
    d->last = error;
    return value;
}

int SimulatedDriver::SerPutByte(int port, std::uint8_t byte) {
    return SerPutData(port, &byte, 1) == 1 ? 0 : -1;
}

int SimulatedDriver::SerRxReadyCount(int port) {
    std::lock_guard l(mutex_);
    if (rxReadyCountResult_)
        return *rxReadyCountResult_;
    Device* d = byPort(port);
    if (!d || d->readFails)
        return -1;
    return static_cast<int>(d->rx.size());
}

int SimulatedDriver::SerTxBufCount(int port) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerRxFlush(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    d->rx.clear();
    return 0;
}

int SimulatedDriver::SerTxFlush(int port) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerTxDrain(int port) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerRxOverflow(int port) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerSigOverrun(int port) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerSigBreak(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->last == ByteError::Unreadable)
        return -1;
    return d->last == ByteError::Break ? 1 : 0;
}

int SimulatedDriver::SerSigFrameErr(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->last == ByteError::Unreadable)
        return -1;
    return d->last == ByteError::Frame ? 1 : 0;
}

int SimulatedDriver::SerSigParityErr(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d || d->last == ByteError::Unreadable)
        return -1;
    return d->last == ByteError::Parity ? 1 : 0;
}

int SimulatedDriver::SerSigCD(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    return d ? (d->cd ? 1 : 0) : -1;
}

int SimulatedDriver::SerSigCTS(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    return (d->loopRts ? d->rts : d->cts) ? 1 : 0;
}

int SimulatedDriver::SerSigDSR(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    return (d->loopDtr ? d->dtr : d->dsr) ? 1 : 0;
}

int SimulatedDriver::SerSigRing(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    return d ? (d->ring ? 1 : 0) : -1;
}

int SimulatedDriver::SerSetDTR(int port, bool on) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    d->dtr = on;
    return 0;
}

int SimulatedDriver::SerSetRTS(int port, bool on) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    d->rts = on;
    return 0;
}

int SimulatedDriver::SerSendBreak(int port, int) {
    std::lock_guard l(mutex_);
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerSetTimeoutRx(int port, int timeout) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    d->timeoutRx = timeout;
    return 0;
}

int SimulatedDriver::SerSetTimeoutTx(int port, int timeout) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    d->timeoutTx = timeout;
    return 0;
}

int SimulatedDriver::SerGetTimeoutRx(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    return d ? d->timeoutRx : 0;
}

int SimulatedDriver::SerGetTimeoutTx(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    return d ? d->timeoutTx : 0;
}

int SimulatedDriver::SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) {
    std::lock_guard l(mutex_);
    info.clear();
    for (const auto& name : order_) {
        const Device& d = devices_.at(name);
        if (d.vanished)
            continue;
        names.push_back(name);
        if (!d.desc.empty() || !d.mfgr.empty())
            info.emplace_back(name, d.desc, d.mfgr);
    }
    return 0;
}

int SimulatedDriver::SerFlowTask(int port) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard l(mutex_);
    ++flowRounds_;
    return byPort(port) ? 0 : -1;
}

int SimulatedDriver::SerRegisterDeviceNotification(std::function<void()> notify) {
    std::lock_guard l(mutex_);
    notify_ = std::move(notify);
    return 0;
}

int SimulatedDriver::SerUnregisterDeviceNotification() {
    std::lock_guard l(mutex_);
    notify_ = nullptr;
    return 0;
}

std::string SimulatedDriver::SerGetName(int port) {
    std::lock_guard l(mutex_);
    for (const auto& [n, d] : devices_)
        if (d.openAs == port && port >= 0)
            return n;
    return {};
}

std::string SimulatedDriver::SerGetPortMfgr(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    return d ? d->mfgr : std::string();
}

int SimulatedDriver::SerWaitForData(int port, int timeoutMs) {
    std::unique_lock l(mutex_);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        Device* d = byPort(port);
        if (!d)
            return -1;
        if (!d->rx.empty())
            return WAIT_DATA;
        if (d->vanished)
            return WAIT_GONE;
        if (d->wake) {
            d->wake = false;
            return WAIT_WOKEN;
        }
        if (timeoutMs < 0)
            changed_.wait(l);
        else if (changed_.wait_until(l, deadline) == std::cv_status::timeout &&
                 std::chrono::steady_clock::now() >= deadline) {
            Device* again = byPort(port);
            if (again && again->rx.empty() && !again->vanished && !again->wake)
                return WAIT_TIMEOUT;
        }
    }
}

int SimulatedDriver::SerWakeUp(int port) {
    {
        std::lock_guard l(mutex_);
        Device* d = byPort(port);
        if (!d)
            return -1;
        d->wake = true;
    }
    changed_.notify_all();
    return 0;
}

int SimulatedDriver::SerIsGone(int port) {
    std::lock_guard l(mutex_);
    Device* d = byPort(port);
    if (!d)
        return -1;
    return d->vanished && d->rx.empty() ? 1 : 0;
}

} // namespace Tarolink
