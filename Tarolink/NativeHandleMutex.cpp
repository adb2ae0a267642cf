#include "Tarolink/NativeHandleMutex.h"

namespace Tarolink {

NativeHandleMutex& NativeHandleMutex::getInstance() {
    // Function-local static: initialised once, thread-safe.
    static NativeHandleMutex instance;
    return instance;
}

} // namespace Tarolink
