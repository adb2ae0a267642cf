#pragma once

#include <mutex>

namespace Tarolink {

// The process-wide port lock: held around every open, close, configure and reset of any
// port, so the driver never sees two of them at once. Usable with std::lock_guard.
class NativeHandleMutex {
public:
    // The one instance, made on first request.
    static NativeHandleMutex& getInstance();

    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

    NativeHandleMutex(const NativeHandleMutex&) = delete;
    NativeHandleMutex& operator=(const NativeHandleMutex&) = delete;

private:
    NativeHandleMutex() = default;
    std::mutex mutex_;
};

} // namespace Tarolink
