#include "Tarolink/SerialExceptions.h"

#include <system_error>

namespace Tarolink {

std::string PortIOException::systemMessage() const {
    return systemError_ == 0 ? std::string() : std::generic_category().message(systemError_);
}

std::string describe(const std::exception& e) {
    const auto* io = dynamic_cast<const PortIOException*>(&e);
    const std::string os = io ? io->systemMessage() : std::string();
    return os.empty() ? std::string(e.what()) : std::string(e.what()) + " (" + os + ")";
}

} // namespace Tarolink
