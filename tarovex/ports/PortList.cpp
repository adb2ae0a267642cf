#include "tarovex/ports/PortList.h"

#include <QFileInfo>
#include "tarovex/ports/RecentAddresses.h"

#include "Tarolink/FriendlyPortUtil.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"

namespace tarovex::ports {

PortListing listSystemPorts() {
    using Tarolink::SerialPortLocal;
    PortListing out;
    try {
        SerialPortLocal::loadLibrary();
        if (!SerialPortLocal::isLibraryLoaded()) {
            out.libraryMissing = true;
            const auto os = Tarolink::SystemProperties::get("TLK_OSNAME");
            const auto arch = Tarolink::SystemProperties::get("TLK_OSARCH");
            if (os && arch)
                out.system = QStringLiteral(" (%1 %2)")
                                 .arg(QString::fromStdString(*os), QString::fromStdString(*arch));
            return out;
        }
        const std::vector<std::string> names = SerialPortLocal::getPortList();
        try {
            Tarolink::FriendlyPortUtil::prepare();
        } catch (const std::exception&) {
            // Plain names then: the driver has no descriptions of its ports.
        }
        for (const std::string& name : names)
            out.ports.append({QString::fromStdString(name),
                              QString::fromStdString(Tarolink::FriendlyPortUtil::getFriendlyPortName(name)),
                              true});
    } catch (const std::exception& e) {
        out.ports.clear();
        out.failure = QString::fromUtf8(e.what());
    }
    return out;
}

QList<PortChoice> portChoices(const QList<PortChoice>& listed, const QStringList& keep) {
    QList<PortChoice> out;
    QStringList names;
    for (const PortChoice& p : listed)
        if (!p.name.isEmpty() && !names.contains(p.name)) {
            out.append(p);
            names.append(p.name);
        }
    for (const QString& name : keep)
        if (!name.isEmpty() && !names.contains(name)) {
            // The system never lists an address; nor a pseudo-terminal, nor the by-id name of a
            // port it lists under another: a device file that is there is present.
            out.append({name, name, isNetworkPort(name) || QFileInfo::exists(name)});
            names.append(name);
        }
    return out;
}

QString choiceText(const PortChoice& choice) {
    return choice.present ? choice.display : choice.display + QStringLiteral(" (not present)");
}

QStringList choiceNames(const QList<PortChoice>& choices) {
    QStringList names;
    for (const PortChoice& c : choices)
        names.append(c.name);
    return names;
}

} // namespace tarovex::ports
