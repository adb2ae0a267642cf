#include "typing/X11ErrorTrap.h"

#include <X11/Xlib.h>

#include <utility>

namespace tarovex::typing {
namespace {

std::mutex& trapMutex() {
    static std::mutex m;
    return m;
}

int& firstError() {
    static int code = 0;
    return code;
}

int note(Display*, XErrorEvent* e) {
    if (!firstError())
        firstError() = e->error_code;
    return 0;
}

} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), lock_(trapMutex()) {
    XSync(display_, False);
    firstError() = 0;
    previous_ = reinterpret_cast<Handler>(XSetErrorHandler(&note));
}

X11ErrorTrap::~X11ErrorTrap() {
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
}

int X11ErrorTrap::sync() {
    XSync(display_, False);
    return std::exchange(firstError(), 0);
}

} // namespace tarovex::typing
