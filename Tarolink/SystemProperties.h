#pragma once

#include <optional>
#include <string>

namespace Tarolink {

// Process-wide "system properties" ("SERIAL_PORT_LIST", "TLK_OSNAME", "TLK_OSARCH",
// "EDITION", "ProgramData", ...) kept in the process environment under the same names.
// The entry point sets its own before any thread starts; afterwards they are only read.
class SystemProperties {
public:
    // The value, or nothing when the property is not set.
    static std::optional<std::string> get(const std::string& name);
    // The value, or `fallback` when the property is not set.
    static std::string get(const std::string& name, const std::string& fallback);
    // Sets (overwrites) a property. Not thread-safe: call before other threads start.
    static void set(const std::string& name, const std::string& value);
    // Removes a property. Not thread-safe, as set().
    static void clear(const std::string& name);
};

} // namespace Tarolink
