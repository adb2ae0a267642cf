#include "worker/openhint/OpenFailureHint.h"

#include "Tarolink/SerialExceptions.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <QFile>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarovex::worker {
namespace {

bool processIsInGroup(gid_t group) {
    if (getegid() == group)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    return false;
}

std::optional<QString> groupName(gid_t group) {
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return QString::fromLocal8Bit(found->gr_name);
}

QString format(QLatin1StringView key, const QStringList& args) {
    return config::ResourceBundle::formatMessage(workerBundle().getString(key), args);
}

} // namespace

std::optional<QString> openFailureHint(const QString& port, const std::exception& failure) {
    if (auto network = networkFailureHint(failure))
        return network;
    const auto* io = dynamic_cast<const Tarolink::PortIOException*>(&failure);
    const int error = io ? io->systemError() : 0;
    if (error == ENOENT)
        return format(WorkerMessages::PORT_DOES_NOT_EXIST_0, {port});
    if (error != EACCES && error != EPERM)
        return std::nullopt;
    struct stat st {};
    if (::stat(QFile::encodeName(port).constData(), &st) != 0)
        return std::nullopt;
    // Joining the group helps only when the group may read and write the device; the
    // superuser's group is never the advice.
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse || st.st_gid == 0 || processIsInGroup(st.st_gid))
        return std::nullopt;
    const auto name = groupName(st.st_gid);
    if (!name)
        return std::nullopt;
    return groupJoinHint(port, *name);
}

QString groupJoinHint(const QString& port, const QString& group) {
    return format(WorkerMessages::PORT_NEEDS_GROUP_0_1, {port, group});
}

} // namespace tarovex::worker
