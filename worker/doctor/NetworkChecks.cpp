#include "worker/doctor/Doctor.h"

#include "Tarolink/ComPortClient.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/SerialDriver.h"
#include "Tarolink/TcpConnect.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarovex::worker::doctor {
namespace {

using Severity = Finding::Severity;
using Tarolink::ComPortClient;
using Clock = std::chrono::steady_clock;

enum class Agreement { Agreed, Refused, Silent, Closed };

// Offers COM-PORT on `fd` and waits up to `ms` for the server's word on it.
Agreement negotiate(int fd, int ms) {
    ComPortClient client;
    const std::vector<std::uint8_t> hello = client.start();
    if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) != ssize_t(hello.size()))
        return Agreement::Closed;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    std::vector<std::uint8_t> data, reply;
    for (;;) {
        if (client.comPortAccepted())
            return Agreement::Agreed;
        if (client.comPortRefused())
            return Agreement::Refused;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) == 0)
            return Agreement::Silent;
        std::uint8_t raw[4096];
        const ssize_t n = ::recv(fd, raw, sizeof raw, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return Agreement::Closed;
        data.clear(); // a device's readings are not what is asked here
        client.receive(raw, std::size_t(n), data, reply);
        if (!reply.empty()) {
            [[maybe_unused]] auto sent = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            reply.clear();
        }
    }
}

QString seconds(int ms) {
    return QString::number(double(ms) / 1000);
}

} // namespace

Findings checkNetworkPort(const SystemView& view, const QString& port) {
    std::string why;
    const auto address = Tarolink::NetworkAddress::parse(port.toStdString(), &why);
    if (!address)
        return {{Severity::Problem,
                 QStringLiteral("%1 is not a network address one can open: %2.").arg(port, QString::fromStdString(why)),
                 {}}};
    const QString host = QString::fromStdString(address->host);
    const QString where = (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(address->port);
    const int limit = view.networkLimitMs;
    int code = 0, systemError = 0;
    const int fd = Tarolink::connectTcp(*address, limit, code, systemError);
    if (fd < 0) {
        switch (code) {
        case Tarolink::SerialDriver::UNKNOWN_HOST:
            return {{Severity::Problem,
                     QStringLiteral("%1: the host name %2 was not found.").arg(port, host),
                     QStringLiteral("getent hosts %1").arg(host)}};
        case Tarolink::SerialDriver::LOOKUP_TIMEOUT:
            return {{Severity::Problem,
                     QStringLiteral("%1: the host name %2 could not be looked up within %3 s.")
                         .arg(port, host, seconds(limit)),
                     QStringLiteral("getent hosts %1").arg(host)}};
        case Tarolink::SerialDriver::REFUSED:
            return {{Severity::Problem,
                     QStringLiteral("%1: %2 refused the connection: nothing listens at that port; check the "
                                    "port number and the device server's network settings.")
                         .arg(port, where),
                     {}}};
        case Tarolink::SerialDriver::NO_ANSWER:
            return {{Severity::Problem,
                     QStringLiteral("%1: no answer from %2 within %3 s: check the address, and that the "
                                    "device server is switched on and reachable from this computer.")
                         .arg(port, where, seconds(limit)),
                     QStringLiteral("ping -c 3 %1").arg(host)}};
        default:
            return {{Severity::Problem,
                     QStringLiteral("%1: the connection to %2 failed: %3.")
                         .arg(port, where, QString::fromLocal8Bit(std::strerror(systemError))),
                     {}}};
        }
    }
    if (address->protocol == Tarolink::NetworkAddress::Protocol::RawTcp) {
        ::close(fd);
        return {{Severity::Ok,
                 QStringLiteral("%1: %2 accepted the connection; the bytes pass as they are, and the line "
                                "settings are the device server's.")
                     .arg(port, where),
                 {}}};
    }
    const Agreement agreement = negotiate(fd, limit);
    ::close(fd);
    switch (agreement) {
    case Agreement::Agreed:
        return {{Severity::Ok,
                 QStringLiteral("%1: %2 accepted the connection and agreed to RFC 2217: the line settings "
                                "are set from here.")
                     .arg(port, where),
                 {}}};
    case Agreement::Refused:
        return {{Severity::Problem,
                 QStringLiteral("%1: %2 answered, but refused RFC 2217; for a server that passes the bytes "
                                "as they are, name the port tcp://%2.")
                     .arg(port, where),
                 {}}};
    case Agreement::Silent:
        return {{Severity::Problem,
                 QStringLiteral("%1: %2 accepted the connection, but did not agree to RFC 2217 within %3 s: "
                                "it does not speak RFC 2217; for a server that passes the bytes as they are, "
                                "name the port tcp://%2.")
                     .arg(port, where, seconds(limit)),
                 {}}};
    case Agreement::Closed:
        break;
    }
    return {{Severity::Problem,
             QStringLiteral("%1: %2 accepted the connection and closed it again before agreeing to RFC 2217; "
                            "another program may hold the device server's port.")
                 .arg(port, where),
             {}}};
}

} // namespace tarovex::worker::doctor
