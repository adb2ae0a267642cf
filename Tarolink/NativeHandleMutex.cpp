#include "Tarolink/NativeHandleMutex.h"

namespace Tarolink {

NativeHandleMutex& NativeHandleMutex::getInstance() {
    // Initialised once, thread-safe, and never destroyed: an abandoned open may still hold it
    // on a thread of its own while the process exits.
    static NativeHandleMutex* const instance = new NativeHandleMutex;
    return *instance;
}

} // namespace Tarolink
