#include "worker/doctor/Doctor.h"

#include "hid/HidrawListing.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace tarovex::worker::doctor {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// KEY=value of a uevent file.
std::string ueventValue(const std::string& uevent, const std::string& key) {
    const std::size_t at = uevent.find(key + "=");
    if (at == std::string::npos || (at != 0 && uevent[at - 1] != '\n'))
        return {};
    const std::size_t start = at + key.size() + 1;
    return uevent.substr(start, uevent.find('\n', start) - start);
}

} // namespace

Findings checkScales(const SystemView& view) {
    Findings f;
    const QStringList nodes =
        QDir(q(view.path("/sys/class/hidraw"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& node : nodes) {
        const std::string sys = "/sys/class/hidraw/" + node.toStdString() + "/device/";
        const std::string descriptor = view.read(sys + "report_descriptor");
        if (!hid::declaresScale({descriptor.begin(), descriptor.end()}))
            continue;
        const std::string uevent = view.read(sys + "uevent");
        hid::HidScale s;
        s.node = "/dev/" + node.toStdString();
        unsigned bus = 0, vendor = 0, product = 0;
        if (std::sscanf(ueventValue(uevent, "HID_ID").c_str(), "%x:%x:%x", &bus, &vendor, &product) == 3) {
            s.vendor = std::uint16_t(vendor);
            s.product = std::uint16_t(product);
        }
        s.serial = ueventValue(uevent, "HID_UNIQ");
        const QString name = QStringLiteral("USB scale %1 (%2, %3)")
                                 .arg(q(ueventValue(uevent, "HID_NAME")), q(s.node), q(s.portName()));
        if (!view.mayOpen || view.mayOpen(s.node))
            f.push_back({Finding::Severity::Ok, name + QStringLiteral(": this user can read it."), {}});
        else
            f.push_back(
                {Finding::Severity::Problem,
                 name + QStringLiteral(": this user may not open it. Tarovex's udev rule gives scales "
                                       "to the user at the seat, who gets them once the rule is "
                                       "applied, and to the group plugdev, for a user without a "
                                       "seat (a service, a login over ssh), who must log in again "
                                       "after joining it:"),
                 QStringLiteral("sudo udevadm trigger --subsystem-match=hidraw (at the seat), or: "
                                "sudo adduser %1 plugdev (without a seat)")
                     .arg(view.userName.empty() ? QStringLiteral("$USER") : q(view.userName))});
    }
    return f;
}

} // namespace tarovex::worker::doctor
