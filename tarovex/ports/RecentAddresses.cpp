#include "tarovex/ports/RecentAddresses.h"

#include "Tarolink/NetworkAddress.h"
#include "config/SettingsTable.h"

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
    return config::addressListText(addresses);
}

std::optional<QStringList> parseAddresses(const QString& text) {
    return config::parseAddressList(text);
}

} // namespace tarovex::ports
