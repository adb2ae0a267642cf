#include "worker/Reconnector.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/RoutingDriver.h"
#include "worker/ByteSource.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace tarovex::worker {

Reconnector::Reconnector(const QString& port, const QString& byIdFolder)
    : watched_(stableName(port, byIdFolder)) {}

QString Reconnector::stableName(const QString& port, const QString& byIdFolder) {
    if (Tarolink::NetworkAddress::isNetworkName(port.toStdString()) ||
        Tarolink::RoutingDriver::isScaleName(port.toStdString()))
        return port;
    const QFileInfo given(port);
    const QString folder = QDir(byIdFolder).absolutePath();
    if (given.absolutePath() == folder)
        return port;
    const QString device = given.canonicalFilePath();
    if (device.isEmpty())
        return port;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (entry.canonicalFilePath() == device)
            return entry.absoluteFilePath();
    return port;
}

bool Reconnector::reopen(ByteSource& source, const std::stop_token& stop) {
    try {
        source.close();
    } catch (const std::exception&) {
        // closed in any case
    }
    const std::string name = watched_.toStdString();
    // A server on the network, or a USB scale named by its numbers, has no node to wait for:
    // trying to open is the test.
    const bool nodeless =
        Tarolink::NetworkAddress::isNetworkName(name) || Tarolink::RoutingDriver::isScaleName(name);
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, kPollInterval, [] { return false; });
        }
        if (stop.stop_requested() || (!nodeless && !QFileInfo::exists(watched_)))
            continue;
        if (source.reopen(name))
            return true;
    }
    return false;
}

} // namespace tarovex::worker
