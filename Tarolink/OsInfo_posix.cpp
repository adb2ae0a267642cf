#include "Tarolink/OsInfo.h"

#include "Tarolink/SystemProperties.h"

#include <sys/utsname.h>

namespace Tarolink {

std::string OsInfo::systemName() {
    utsname u{};
    if (::uname(&u) != 0)
        return "Linux";
    return u.sysname;
}

std::string OsInfo::systemArch() {
    utsname u{};
    if (::uname(&u) != 0)
        return "";
    return u.machine;
}

std::string OsInfo::effectiveName() {
    return SystemProperties::get("TLK_OSNAME", systemName());
}

std::string OsInfo::effectiveArch() {
    return SystemProperties::get("TLK_OSARCH", systemArch());
}

} // namespace Tarolink
