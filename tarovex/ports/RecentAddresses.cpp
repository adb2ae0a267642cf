#include "tarovex/ports/RecentAddresses.h"

#include "Tarolink/NetworkAddress.h"

namespace tarovex::ports {

bool isNetworkPort(const QString& name) {
    return Tarolink::NetworkAddress::parse(name.toStdString()).has_value();
}

QStringList rememberAddress(const QStringList& recent, const QString& port) {
    if (!isNetworkPort(port))
        return recent;
    QStringList out = {port};
    for (const QString& a : recent)
        if (a != port && out.size() < maxRecentAddresses)
            out.append(a);
    return out;
}

QString addressesText(const QStringList& addresses) {
    return addresses.join(u' ');
}

std::optional<QStringList> parseAddresses(const QString& text) {
    QStringList out = text.split(u' ', Qt::SkipEmptyParts);
    if (out.size() > maxRecentAddresses || out.removeDuplicates() > 0)
        return std::nullopt;
    for (const QString& a : out)
        if (!isNetworkPort(a))
            return std::nullopt;
    return out;
}

} // namespace tarovex::ports
