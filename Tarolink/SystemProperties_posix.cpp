#include "Tarolink/SystemProperties.h"

#include <cstdlib>

namespace Tarolink {

std::optional<std::string> SystemProperties::get(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

std::string SystemProperties::get(const std::string& name, const std::string& fallback) {
    return get(name).value_or(fallback);
}

void SystemProperties::set(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void SystemProperties::clear(const std::string& name) {
    ::unsetenv(name.c_str());
}

} // namespace Tarolink
