#pragma once

#include <mutex>

typedef struct _XDisplay Display;

namespace tarovex::typing {

// X protocol errors are reported asynchronously to one process-wide handler; while a trap
// lives, that handler only notes the first error, so a refused request becomes an error
// code instead of ending the program. The traps of all threads and connections take turns,
// since each one swaps that single handler.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to process everything sent; the first error code, 0 for none.
    int sync();

private:
    using Handler = void (*)();
    Display* display_;
    std::lock_guard<std::mutex> lock_;
    Handler previous_ = nullptr;
};

} // namespace tarovex::typing
