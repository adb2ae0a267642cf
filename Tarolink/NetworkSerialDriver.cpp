#include "Tarolink/NetworkSerialDriver.h"

#include "Tarolink/ComPortClient.h"
#include "Tarolink/Diagnostics.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/NetworkPort.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/TcpConnect.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <set>
#include <thread>

namespace Tarolink {

namespace {

using Clock = std::chrono::steady_clock;

int systemFailure(int result) {
    tNetworkLastError = errno;
    return result;
}

} // namespace

NetworkSerialDriver::NetworkSerialDriver(Timeouts timeouts) : timeouts_(timeouts) {}

NetworkSerialDriver::NetworkSerialDriver() : NetworkSerialDriver(Timeouts{}) {}

NetworkSerialDriver::~NetworkSerialDriver() = default;

std::shared_ptr<NetworkPort> NetworkSerialDriver::find(int port) const {
    std::lock_guard lock(mutex_);
    const auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second;
}

template <typename Body> int NetworkSerialDriver::withPort(int port, Body&& body, int notOpen) const {
    tNetworkLastError = 0;
    const std::shared_ptr<NetworkPort> p = find(port);
    return p ? body(*p) : notOpen;
}

int NetworkSerialDriver::SerGetLastError() {
    return tNetworkLastError;
}

int NetworkSerialDriver::SerOpenPort(SerialConfig& config) {
    tNetworkLastError = 0;
    const std::string name = config.getPortNameString();
    std::string why;
    const std::optional<NetworkAddress> address = NetworkAddress::parse(name, &why);
    if (!address) {
        diagnostic(name + ": " + why);
        return NOT_VALID;
    }
    auto p = std::make_shared<NetworkPort>();
    p->name = name;
    p->rfc2217 = address->protocol == NetworkAddress::Protocol::Rfc2217;
    bool firstConnection = false;
    {
        std::lock_guard lock(mutex_);
        auto& known = unanswered_[name];
        firstConnection = !known;
        if (!known)
            known = std::make_shared<UnansweredRequests>();
        p->unanswered = known;
    }
    int code = OK;
    p->fd = connectTcp(*address, timeouts_.connectMs, code, tNetworkLastError);
    if (p->fd < 0)
        return code;
    p->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (p->wakeFd < 0) {
        tNetworkLastError = errno;
        return OTHER_ERROR;
    }
    if (p->rfc2217) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts_.negotiationMs);
        std::vector<std::uint8_t> hello;
        {
            std::lock_guard lock(p->mutex);
            hello = p->client.start();
        }
        if (!p->send(hello, timeouts_.negotiationMs))
            return p->gone ? OTHER_ERROR : NO_ANSWER;
        p->awaitServer([&] { return p->client.comPortAccepted() || p->client.comPortRefused(); }, deadline);
        if (p->client.comPortRefused())
            return NOT_RFC2217;
        if (!p->client.comPortAccepted())
            return p->gone ? OTHER_ERROR : NO_ANSWER;
        // No state masks are sent: the defaults report every modem-line change, and a
        // server busy with a mask request has been seen to drop the request behind it.
        if (firstConnection)
            diagnostic(name + ": parity and framing errors are not marked per byte over the network");
    }
    std::lock_guard lock(mutex_);
    const int number = next_++;
    ports_[number] = p;
    config.setPortNum(number + 1);
    return OK;
}

int NetworkSerialDriver::SerConfigure(const SerialConfig& config) {
    return withPort(config.getPort() - 1, [&](NetworkPort& p) {
        if (!p.rfc2217) {
            std::lock_guard lock(p.mutex);
            if (!p.toldNoSettings)
                diagnostic(p.name + ": a plain TCP port has no serial settings; " +
                           config.getSettingsString() + " is up to the device server");
            p.toldNoSettings = true;
            return OK;
        }
        return p.exchange(ComPortClient::lineRequests(config), timeouts_.answerMs) ? OK : OTHER_ERROR;
    });
}

int NetworkSerialDriver::SerClosePort(int port) {
    tNetworkLastError = 0;
    std::shared_ptr<NetworkPort> p;
    {
        std::lock_guard lock(mutex_);
        const auto it = ports_.find(port);
        if (it == ports_.end())
            return -1;
        p = it->second;
        ports_.erase(it);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto w = ::write(p->wakeFd, &one, sizeof one);
    // The descriptors close with the last holder (a waiting thread may still have it); the
    // connection ends now.
    ::shutdown(p->fd, SHUT_RDWR);
    return OK;
}

int NetworkSerialDriver::SerGetByte(int port) {
    return withPort(port, [&](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        if (p.buffered() == 0 && !p.gone)
            p.fill();
        if (p.buffered() == 0)
            return -1;
        return int{p.rx[p.head++]};
    });
}

int NetworkSerialDriver::SerGetData(int port, std::uint8_t* buffer, int count) {
    return withPort(port, [&](NetworkPort& p) {
        if (count < 0)
            return -1;
        std::lock_guard lock(p.mutex);
        if (p.buffered() < static_cast<std::size_t>(count) && !p.gone)
            p.fill();
        int taken = 0;
        while (taken < count && p.buffered() > 0)
            buffer[taken++] = p.rx[p.head++];
        return taken;
    });
}

int NetworkSerialDriver::SerPutData(int port, const std::uint8_t* buffer, int count) {
    return withPort(port, [&](NetworkPort& p) {
        if (count < 0 || p.gone)
            return -1;
        std::vector<std::uint8_t> out;
        if (p.rfc2217) {
            std::lock_guard lock(p.mutex);
            p.client.encodeData(buffer, static_cast<std::size_t>(count), out);
        } else {
            out.assign(buffer, buffer + count);
        }
        int waitMs;
        {
            std::lock_guard lock(p.mutex);
            waitMs = p.timeoutTx / 100;
        }
        // Escaped bytes are not counted: either all of it went, or the call failed.
        return p.send(out, waitMs) ? count : -1;
    });
}

int NetworkSerialDriver::SerPutByte(int port, std::uint8_t byte) {
    return SerPutData(port, &byte, 1) == 1 ? 0 : -1;
}

int NetworkSerialDriver::SerRxReadyCount(int port) {
    return withPort(port, [&](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        if (!p.gone)
            p.fill();
        return static_cast<int>(p.buffered());
    });
}

int NetworkSerialDriver::SerTxBufCount(int port) {
    return withPort(port, [&](NetworkPort& p) {
        int queued = 0;
        return ::ioctl(p.fd, TIOCOUTQ, &queued) == 0 ? queued : systemFailure(-1);
    });
}

namespace {

std::vector<ComPortClient::Request> purge(std::uint8_t which) {
    return {{ComPortClient::PURGE_DATA, ComPortClient::request(ComPortClient::PURGE_DATA, {which})}};
}

} // namespace

int NetworkSerialDriver::SerRxFlush(int port) {
    return withPort(port, [&](NetworkPort& p) {
        if (p.rfc2217 && !p.exchange(purge(1), timeouts_.answerMs))
            return -1;
        std::lock_guard lock(p.mutex);
        // What already crossed the network is dropped too.
        p.dropReceived();
        return 0;
    });
}

int NetworkSerialDriver::SerTxFlush(int port) {
    return withPort(port, [&](NetworkPort& p) {
        return (!p.rfc2217 || p.exchange(purge(2), timeouts_.answerMs)) ? 0 : -1;
    });
}

int NetworkSerialDriver::SerTxDrain(int port) {
    return withPort(port, [&](NetworkPort& p) { return p.gone ? -1 : 0; });
}

int NetworkSerialDriver::SerRxOverflow(int port) {
    return withPort(port, [](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        const bool seen = p.overflowed;
        p.overflowed = false;
        return seen ? 1 : 0;
    });
}

int NetworkSerialDriver::SerSigOverrun(int port) {
    return withPort(port, [](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        const bool seen = p.lineErrors & ComPortClient::LINE_OVERRUN;
        p.lineErrors &= ~ComPortClient::LINE_OVERRUN;
        return seen ? 1 : 0;
    });
}

// No per-byte marks over the network (see the class comment).
int NetworkSerialDriver::SerSigBreak(int port) {
    return withPort(port, [](NetworkPort&) { return 0; });
}
int NetworkSerialDriver::SerSigFrameErr(int port) {
    return withPort(port, [](NetworkPort&) { return 0; });
}
int NetworkSerialDriver::SerSigParityErr(int port) {
    return withPort(port, [](NetworkPort&) { return 0; });
}

int NetworkSerialDriver::modemSignal(int port, int mask) {
    return withPort(port, [&](NetworkPort& p) {
        if (!p.rfc2217)
            return 0; // a plain TCP port has no lines: all read as off
        std::lock_guard lock(p.mutex);
        if (!p.gone)
            p.fill(); // a report may be waiting behind data
        return (p.client.modemState() & mask) ? 1 : 0;
    });
}

int NetworkSerialDriver::SerSigCD(int port) {
    return modemSignal(port, ComPortClient::MODEM_CD);
}
int NetworkSerialDriver::SerSigCTS(int port) {
    return modemSignal(port, ComPortClient::MODEM_CTS);
}
int NetworkSerialDriver::SerSigDSR(int port) {
    return modemSignal(port, ComPortClient::MODEM_DSR);
}
int NetworkSerialDriver::SerSigRing(int port) {
    return modemSignal(port, ComPortClient::MODEM_RI);
}

int NetworkSerialDriver::control(int port, std::uint8_t value) {
    return withPort(port, [&](NetworkPort& p) {
        if (!p.rfc2217)
            return 0;
        return p.exchange({{ComPortClient::SET_CONTROL,
                            ComPortClient::request(ComPortClient::SET_CONTROL, {value})}},
                          timeouts_.answerMs)
                   ? 0
                   : -1;
    });
}

int NetworkSerialDriver::SerSetDTR(int port, bool on) {
    return control(port, on ? ComPortClient::DTR_ON : ComPortClient::DTR_OFF);
}

int NetworkSerialDriver::SerSetRTS(int port, bool on) {
    return control(port, on ? ComPortClient::RTS_ON : ComPortClient::RTS_OFF);
}

int NetworkSerialDriver::SerSendBreak(int port, int durationMs) {
    if (control(port, ComPortClient::BREAK_ON) != 0)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(durationMs > 0 ? durationMs : 0));
    return control(port, ComPortClient::BREAK_OFF);
}

int NetworkSerialDriver::SerSetTimeoutRx(int port, int timeout) {
    return withPort(port, [&](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        p.timeoutRx = timeout;
        return 0;
    });
}

int NetworkSerialDriver::SerSetTimeoutTx(int port, int timeout) {
    return withPort(port, [&](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        p.timeoutTx = timeout;
        return 0;
    });
}

int NetworkSerialDriver::SerGetTimeoutRx(int port) {
    return withPort(
        port,
        [](NetworkPort& p) {
            std::lock_guard lock(p.mutex);
            return p.timeoutRx;
        },
        0);
}

int NetworkSerialDriver::SerGetTimeoutTx(int port) {
    return withPort(
        port,
        [](NetworkPort& p) {
            std::lock_guard lock(p.mutex);
            return p.timeoutTx;
        },
        0);
}

int NetworkSerialDriver::SerGetPortList(std::vector<std::string>&, std::vector<PortDriverInfo>&) {
    return 0;
}

int NetworkSerialDriver::SerFlowTask(int port) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return withPort(port, [](NetworkPort&) { return 0; });
}

std::string NetworkSerialDriver::SerGetName(int port) {
    const auto p = find(port);
    return p ? p->name : std::string();
}

int NetworkSerialDriver::SerWaitForData(int port, int timeoutMs) {
    return withPort(port, [&](NetworkPort& p) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        for (;;) {
            {
                std::lock_guard lock(p.mutex);
                if (p.buffered() > 0)
                    return WAIT_DATA;
                if (p.gone)
                    return WAIT_GONE;
            }
            pollfd fds[2] = {{p.fd, POLLIN, 0}, {p.wakeFd, POLLIN, 0}};
            const int r = ::poll(fds, 2, timeoutMs < 0 ? -1 : msLeft(deadline));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return systemFailure(-1);
            }
            if (r == 0)
                return WAIT_TIMEOUT;
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto n = ::read(p.wakeFd, &count, sizeof count);
                return WAIT_WOKEN;
            }
            std::lock_guard lock(p.mutex);
            p.fill(); // only Telnet commands arrived when nothing is buffered: wait on
        }
    });
}

int NetworkSerialDriver::SerWakeUp(int port) {
    return withPort(port, [&](NetworkPort& p) {
        const std::uint64_t one = 1;
        return ::write(p.wakeFd, &one, sizeof one) == sizeof one ? 0 : systemFailure(-1);
    });
}

int NetworkSerialDriver::SerIsGone(int port) {
    return withPort(port, [&](NetworkPort& p) {
        std::lock_guard lock(p.mutex);
        if (p.buffered() > 0)
            return 0;
        if (!p.gone)
            p.fill();
        return (p.gone && p.buffered() == 0) ? 1 : 0;
    });
}

} // namespace Tarolink
