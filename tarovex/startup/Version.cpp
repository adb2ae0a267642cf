#include "tarovex/startup/Version.h"

#include "Tarolink/SystemProperties.h"

#include <sys/utsname.h>

namespace tarovex {

void setProcessProperties() {
    using Tarolink::SystemProperties;
    SystemProperties::set("VERSION", kVersion);
    SystemProperties::set("RELEASEDATE", kReleaseDate);
    utsname u{};
    if (::uname(&u) == 0) {
        if (!SystemProperties::get("TLK_OSNAME"))
            SystemProperties::set("TLK_OSNAME", u.sysname);
        if (!SystemProperties::get("TLK_OSARCH"))
            SystemProperties::set("TLK_OSARCH", u.machine);
    }
}

} // namespace tarovex
