#pragma once

#include <string>

namespace Tarolink {

// The running system as the serial library names it.
class OsInfo {
public:
    // "os.name": the kernel's own name (uname sysname, "Linux").
    static std::string systemName();
    // "os.arch": the machine name (uname machine, "x86_64").
    static std::string systemArch();
    // The name the library works with: property "TLK_OSNAME" when set, else systemName().
    static std::string effectiveName();
    // Property "TLK_OSARCH" when set, else systemArch().
    static std::string effectiveArch();
};

} // namespace Tarolink
