#include "tarovex/prefs/FileTrust.h"

#include <grp.h>
#include <pwd.h>

#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <vector>

namespace tarovex::prefs {
namespace {

std::optional<gid_t> groupId(const QString& name) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (name.isEmpty() || ::getgrnam_r(name.toLocal8Bit().constData(), &entry, buffer.data(), buffer.size(),
                                       &found) != 0 ||
        !found)
        return std::nullopt;
    return found->gr_gid;
}

// Primary group or listed member, as the group database says now: a former member no longer counts.
bool isMember(uid_t user, gid_t group) {
    std::vector<char> buffer(16384), groupBuffer(16384);
    struct passwd account {};
    struct passwd* who = nullptr;
    if (::getpwuid_r(user, &account, buffer.data(), buffer.size(), &who) != 0 || !who)
        return false;
    if (who->pw_gid == group)
        return true;
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, groupBuffer.data(), groupBuffer.size(), &found) != 0 || !found)
        return false;
    for (char** member = found->gr_mem; *member; ++member)
        if (std::string_view(*member) == who->pw_name)
            return true;
    return false;
}

QString mode(const struct stat& st) {
    return QStringLiteral("0%1").arg(st.st_mode & 07777, 3, 8, QLatin1Char('0'));
}

} // namespace

std::optional<QString> notAWriter(const QString& group) {
    // The groups of the process, not of the account: a member added since the login is not in
    // them until the next one.
    if (const std::optional<gid_t> gid = groupId(group)) {
        if (::getegid() == *gid)
            return std::nullopt;
        std::vector<gid_t> groups(std::max(::getgroups(0, nullptr), 0));
        groups.resize(std::max(::getgroups(int(groups.size()), groups.data()), 0));
        for (const gid_t g : groups)
            if (g == *gid)
                return std::nullopt;
    }
    std::vector<char> buffer(16384);
    struct passwd account {};
    struct passwd* who = nullptr;
    const QString user = ::getpwuid_r(::geteuid(), &account, buffer.data(), buffer.size(), &who) == 0 && who
                             ? QString::fromLocal8Bit(who->pw_name)
                             : QStringLiteral("USER");
    return QStringLiteral(
               "Only root and the members of the group %1 may change the shared settings: ask "
               "the administrator to add you to it (sudo adduser %2 %1), then log out and in again.")
        .arg(group, user);
}

std::optional<QString> distrust(const QString& path, const struct stat& st, uid_t reader, const QString& group) {
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 is not a regular file").arg(path);
    const std::optional<gid_t> trusted = groupId(group);
    const bool trustedOwner =
        st.st_uid == 0 || st.st_uid == reader || (trusted && st.st_gid == *trusted && isMember(st.st_uid, *trusted));
    if (!trustedOwner)
        return QStringLiteral("%1 belongs to user %2, who is neither root, you nor a member of the group %3")
            .arg(path)
            .arg(st.st_uid)
            .arg(group);
    if (st.st_mode & S_IWOTH)
        return QStringLiteral("%1 may be changed by every user (mode %2)").arg(path, mode(st));
    if ((st.st_mode & S_IWGRP) && !(trusted && st.st_gid == *trusted))
        return QStringLiteral("%1 may be changed by the members of group %2, which is not the group %3 (mode %4)")
            .arg(path)
            .arg(st.st_gid)
            .arg(group, mode(st));
    return std::nullopt;
}

} // namespace tarovex::prefs
