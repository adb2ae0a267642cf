#include "Tarolink/NetworkSerialDriver.h"

#include "Tarolink/ComPortClient.h"
#include "Tarolink/Diagnostics.h"
#include "Tarolink/NetworkAddress.h"
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

constexpr std::size_t kReadBlock = 16384;

thread_local int tLastSystemError = 0;

int systemFailure(int result) {
    tLastSystemError = errno;
    return result;
}

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

const char* commandName(std::uint8_t command) {
    switch (command) {
    case ComPortClient::SET_BAUDRATE:
        return "SET-BAUDRATE";
    case ComPortClient::SET_DATASIZE:
        return "SET-DATASIZE";
    case ComPortClient::SET_PARITY:
        return "SET-PARITY";
    case ComPortClient::SET_STOPSIZE:
        return "SET-STOPSIZE";
    case ComPortClient::SET_CONTROL:
        return "SET-CONTROL";
    case ComPortClient::SET_LINESTATE_MASK:
        return "SET-LINESTATE-MASK";
    case ComPortClient::SET_MODEMSTATE_MASK:
        return "SET-MODEMSTATE-MASK";
    case ComPortClient::PURGE_DATA:
        return "PURGE-DATA";
    default:
        return "a request";
    }
}

// What an unanswered request is remembered as: SET-CONTROL by what it drives (a server may
// answer flow control and ignore DTR), every other request by its command.
int requestKind(const ComPortClient::Request& r) {
    if (r.command != ComPortClient::SET_CONTROL || r.bytes.size() < 5)
        return r.command;
    const std::uint8_t v = r.bytes[4];
    const int group = v >= 4 && v <= 6 ? 1 : v >= 7 && v <= 9 ? 2 : v >= 10 && v <= 12 ? 3 : 0;
    return ComPortClient::SET_CONTROL * 16 + group;
}

// The log's name of a request kind.
std::string kindName(const ComPortClient::Request& r) {
    const int kind = requestKind(r);
    if (r.command != ComPortClient::SET_CONTROL)
        return commandName(r.command);
    static const char* const what[] = {" (flow control)", " (BREAK)", " (DTR)", " (RTS)"};
    return std::string(commandName(r.command)) + what[kind % 16];
}

} // namespace

struct UnansweredRequests {
    std::mutex mutex;
    std::set<int> kinds;
    bool contains(int kind) {
        std::lock_guard lock(mutex);
        return kinds.count(kind) > 0;
    }
    // True when `kind` is new.
    bool add(int kind) {
        std::lock_guard lock(mutex);
        return kinds.insert(kind).second;
    }
};

// Everything the driver keeps for one connection.
struct NetworkPort {
    int fd = -1;
    int wakeFd = -1;
    std::string name;
    bool rfc2217 = false;

    std::mutex mutex; // guards everything below but the sending side
    std::vector<std::uint8_t> rx;
    std::size_t head = 0;
    ComPortClient client;
    std::vector<std::uint8_t> reply;
    // Kinds of request (requestKind) this address left unanswered once; shared by every
    // connection to it, so a reconnect does not wait for them again.
    std::shared_ptr<UnansweredRequests> unanswered;
    int lineErrors = 0;
    int timeoutRx = 0;
    int timeoutTx = 0;
    bool toldNoSettings = false;
    std::atomic<bool> gone{false};

    std::mutex sendMutex; // one writer on the socket at a time

    std::size_t buffered() const { return rx.size() - head; }

    ~NetworkPort() {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    // Sends all of `bytes`, waiting for room at most `timeoutMs`; false when the connection
    // failed (then gone) or the time passed.
    bool send(const std::vector<std::uint8_t>& bytes, int timeoutMs) {
        std::lock_guard lock(sendMutex);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, msLeft(deadline)) <= 0)
                    return false;
                continue;
            }
            tLastSystemError = errno;
            gone = true;
            return false;
        }
        return true;
    }

    // Takes what the socket holds without waiting (mutex held): data into rx, Telnet
    // answers out at once. The number of bytes received, 0 for none, -1 when the
    // connection ended.
    int fill() {
        std::uint8_t raw[kReadBlock];
        ssize_t n;
        while ((n = ::recv(fd, raw, sizeof raw, MSG_DONTWAIT)) < 0 && errno == EINTR) {
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        if (n <= 0) {
            if (n < 0)
                tLastSystemError = errno;
            gone = true;
            return -1;
        }
        if (head > 0) {
            rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(head));
            head = 0;
        }
        if (!rfc2217) {
            rx.insert(rx.end(), raw, raw + n);
            return static_cast<int>(n);
        }
        client.receive(raw, static_cast<std::size_t>(n), rx, reply);
        lineErrors |= client.takeLineErrors();
        if (!reply.empty()) {
            std::vector<std::uint8_t> out;
            out.swap(reply);
            send(out, 1000);
        }
        return static_cast<int>(n);
    }

    // Waits up to `timeoutMs` for input (mutex not held); false on time-out.
    bool pollInput(int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        int r;
        while ((r = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
        }
        return r > 0;
    }

    // Waits until `done()` holds (checked with the mutex held) or `deadline` passes.
    template <typename Done> bool awaitServer(Done&& done, Clock::time_point deadline) {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (done())
                    return true;
                if (gone)
                    return false;
            }
            const int left = msLeft(deadline);
            if (left == 0 || !pollInput(left)) {
                if (msLeft(deadline) == 0)
                    return false;
                continue;
            }
            std::lock_guard lock(mutex);
            fill();
        }
    }

    // Sends COM-PORT requests and waits (bounded) for the server to answer each; a request
    // it leaves unanswered is said once in the log and not waited for again.
    bool exchange(const std::vector<ComPortClient::Request>& requests, int answerMs) {
        std::map<std::uint8_t, unsigned> expected;
        std::vector<std::uint8_t> bytes;
        {
            std::lock_guard lock(mutex);
            for (const auto& r : requests) {
                if (!unanswered->contains(requestKind(r))) {
                    auto [it, fresh] = expected.try_emplace(r.command, client.acknowledgements(r.command));
                    ++it->second;
                }
                bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
            }
        }
        if (!send(bytes, answerMs))
            return false;
        const auto answered = [&] {
            for (const auto& [command, count] : expected)
                if (client.acknowledgements(command) < count)
                    return false;
            return true;
        };
        if (awaitServer(answered, Clock::now() + std::chrono::milliseconds(answerMs)))
            return true;
        if (gone)
            return false;
        std::lock_guard lock(mutex);
        for (const auto& r : requests) {
            const auto it = expected.find(r.command);
            if (it == expected.end() || client.acknowledgements(r.command) >= it->second)
                continue;
            if (unanswered->add(requestKind(r)))
                diagnostic(name + ": the server did not answer " + kindName(r) + " within " +
                           std::to_string(answerMs) + " ms; going on without waiting for it");
        }
        return true;
    }
};

NetworkSerialDriver::NetworkSerialDriver(Timeouts timeouts) : timeouts_(timeouts) {}

NetworkSerialDriver::NetworkSerialDriver() : NetworkSerialDriver(Timeouts{}) {}

NetworkSerialDriver::~NetworkSerialDriver() = default;

std::shared_ptr<NetworkPort> NetworkSerialDriver::find(int port) const {
    std::lock_guard lock(mutex_);
    const auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second;
}

template <typename Body> int NetworkSerialDriver::withPort(int port, Body&& body, int notOpen) const {
    tLastSystemError = 0;
    const std::shared_ptr<NetworkPort> p = find(port);
    return p ? body(*p) : notOpen;
}

int NetworkSerialDriver::SerGetLastError() {
    return tLastSystemError;
}

int NetworkSerialDriver::SerOpenPort(SerialConfig& config) {
    tLastSystemError = 0;
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
    p->fd = connectTcp(*address, timeouts_.connectMs, code, tLastSystemError);
    if (p->fd < 0)
        return code;
    p->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (p->wakeFd < 0) {
        tLastSystemError = errno;
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
    tLastSystemError = 0;
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
        while (!p.gone && p.fill() > 0) {
        }
        p.rx.clear();
        p.head = 0;
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
    return withPort(port, [](NetworkPort&) { return 0; });
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
