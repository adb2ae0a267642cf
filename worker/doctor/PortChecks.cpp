#include "worker/doctor/Doctor.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/RoutingDriver.h"
#include "worker/openhint/OpenFailureHint.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace tarovex::worker::doctor {
namespace {

using Severity = Finding::Severity;

// USB serial adapters that brltty's rules claim as Braille displays: the port vanishes
// right after it appears.
struct Adapter {
    const char* product; // vendor/product as udev's PRODUCT has it
    const char* name;
};
constexpr Adapter claimedAdapters[] = {{"1a86/7523", "CH340"}, {"10c4/ea60", "CP210x"}};

constexpr const char* ruleFolders[] = {"/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

bool contains(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The adapters of `claimedAdapters` that some brltty rule file names.
QStringList adaptersClaimedByBrltty(const SystemView& view) {
    std::string rules;
    for (const char* folder : ruleFolders) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(view.path(folder), ec))
            if (entry.path().filename().string().find("brltty") != std::string::npos)
                rules += view.read(std::string(folder) + "/" + entry.path().filename().string());
    }
    QStringList claimed;
    for (const Adapter& a : claimedAdapters)
        if (rules.find(a.product) != std::string::npos)
            claimed.append(QLatin1StringView(a.name));
    return claimed;
}

Finding groupFinding(const SystemView& view, const QString& port, const struct stat& st) {
    if (view.uid == 0)
        return {Severity::Ok, QStringLiteral("You are the superuser: you may open %1.").arg(port), {}};
    if (st.st_uid == view.uid)
        return {Severity::Ok, QStringLiteral("%1 belongs to you.").arg(port), {}};
    const auto group = groupOf(view, st.st_gid);
    const QString name = group ? q(group->name) : QString::number(st.st_gid);
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (contains(view.groups, st.st_gid))
        return {Severity::Ok,
                QStringLiteral("%1 belongs to the group %2, and you are in it.").arg(port, name),
                {}};
    if (!groupMayUse || st.st_gid == 0)
        return {
            Severity::Problem,
            QStringLiteral("%1 belongs to the group %2, which may not read and write it.").arg(port, name),
            QStringLiteral("sudo chmod g+rw %1").arg(port)};
    // Added to the group, but this login started before: its processes do not have it yet.
    if (group &&
        std::find(group->members.begin(), group->members.end(), view.userName) != group->members.end())
        return {
            Severity::Problem,
            QStringLiteral("%1 belongs to the group %2. You were added to it, but this login started before "
                           "that: log out and log in again (or reboot).")
                .arg(port, name),
            QStringLiteral("newgrp %1").arg(name)};
    return {Severity::Problem, groupJoinHint(port, name),
            QStringLiteral("sudo usermod -aG %1 $USER").arg(name)};
}

} // namespace

Findings checkPort(const SystemView& view, const QString& port) {
    if (Tarolink::NetworkAddress::isNetworkName(port.toStdString()))
        return checkNetworkPort(view, port);
    // USB scales have no node of their name; checkScales looks at each.
    if (Tarolink::RoutingDriver::isScaleName(port.toStdString()))
        return {};
    struct stat st {};
    if (::stat(QFile::encodeName(q(view.path(port.toStdString()))).constData(), &st) != 0)
        return {{Severity::Problem,
                 QStringLiteral("%1 does not exist: the device is not connected, or it has another name.")
                     .arg(port),
                 QStringLiteral("ls -l /dev/serial/by-id/")}};
    Findings f{groupFinding(view, port, st)};
    for (const Holder& h : processesHolding(view, port.toStdString()))
        f.push_back({Severity::Problem,
                     QStringLiteral("%1 is in use by process %2 (%3): close that program first.")
                         .arg(port)
                         .arg(h.pid)
                         .arg(q(h.command)),
                     QStringLiteral("kill %1").arg(h.pid)});
    return f;
}

Findings checkPortServices(const SystemView& view) {
    Findings f;
    if (view.exists("/usr/bin/brltty") || view.exists("/bin/brltty") || view.exists("/usr/sbin/brltty")) {
        const QStringList claimed = adaptersClaimedByBrltty(view);
        if (!claimed.isEmpty())
            f.push_back(
                {Severity::Warning,
                 QStringLiteral("brltty (for Braille displays) is installed, and its udev rules take %1 "
                                "USB serial adapters for Braille displays: such a port vanishes right "
                                "after it is plugged in. Unless you use a Braille display, remove it.")
                     .arg(claimed.join(QStringLiteral(" and "))),
                 QStringLiteral("sudo apt remove brltty")});
    }
    if (const auto pids = processesNamed(view, "ModemManager"); !pids.empty())
        f.push_back(
            {Severity::Warning,
             QStringLiteral("ModemManager is running (process %1): it probes every new serial port with "
                            "modem commands for several seconds, which can confuse an instrument and keep "
                            "the port busy.")
                 .arg(pids.front()),
             QStringLiteral("sudo systemctl disable --now ModemManager")});
    return f;
}

} // namespace tarovex::worker::doctor
