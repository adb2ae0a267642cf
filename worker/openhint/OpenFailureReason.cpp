#include "worker/openhint/OpenFailureHint.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/SerialExceptions.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <algorithm>

namespace tarovex::worker {
namespace {

namespace WM = WorkerMessages;
using Tarolink::SerialDriver;

int openCodeOf(const std::exception& failure) {
    const auto* io = dynamic_cast<const Tarolink::PortIOException*>(&failure);
    return io ? io->openCode() : 0;
}

QString seconds(int ms) {
    return QString::number(double(ms) / 1000);
}

QString format(QLatin1StringView key, const QStringList& args) {
    return config::ResourceBundle::formatMessage(workerBundle().getString(key), args);
}

} // namespace

QString openFailureReason(const QString& port, const std::exception& failure) {
    const auto address = Tarolink::NetworkAddress::parse(port.toStdString());
    const int code = openCodeOf(failure);
    if (!address)
        return QString::fromStdString(Tarolink::describe(failure));
    const QString host = QString::fromStdString(address->host);
    // As the user would type it again: an IPv6 address in brackets.
    const QString where =
        (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(address->port);
    const Tarolink::NetworkSerialDriver::Timeouts limits{};
    // The connection and the COM-PORT agreement each have their limit; either may be the
    // one that ran out.
    const int waitedMs = address->protocol == Tarolink::NetworkAddress::Protocol::Rfc2217
                             ? std::max(limits.connectMs, limits.negotiationMs)
                             : limits.connectMs;
    switch (code) {
    case SerialDriver::NO_ANSWER:
        return format(WM::NETWORK_NO_ANSWER_0_1, {where, seconds(waitedMs)});
    case SerialDriver::REFUSED:
        return format(WM::NETWORK_REFUSED_0, {where});
    case SerialDriver::UNKNOWN_HOST:
        return format(WM::NETWORK_UNKNOWN_HOST_0, {host});
    case SerialDriver::LOOKUP_TIMEOUT:
        return format(WM::NETWORK_LOOKUP_TIMEOUT_0_1, {host, seconds(limits.connectMs)});
    case SerialDriver::NOT_RFC2217:
        return format(WM::NETWORK_NOT_RFC2217_0, {where});
    default:
        return QString::fromStdString(Tarolink::describe(failure));
    }
}

std::optional<QString> networkFailureHint(const std::exception& failure) {
    switch (openCodeOf(failure)) {
    case SerialDriver::NO_ANSWER:
        return workerBundle().getString(WM::NETWORK_NO_ANSWER_HINT);
    case SerialDriver::REFUSED:
        return workerBundle().getString(WM::NETWORK_REFUSED_HINT);
    case SerialDriver::UNKNOWN_HOST:
    case SerialDriver::LOOKUP_TIMEOUT:
        return workerBundle().getString(WM::NETWORK_NAME_HINT);
    case SerialDriver::NOT_RFC2217:
        return workerBundle().getString(WM::NETWORK_NOT_RFC2217_HINT);
    default:
        return std::nullopt;
    }
}

} // namespace tarovex::worker
