#pragma once

#include "Tarolink/Diagnostics.h"
#include "reading/EventLog.h"

#include <memory>

namespace tarovex {

// The serial library's diagnostic lines as regular messages of `log` while this lives, each
// on the thread that made it (any thread): `log` must take calls from any thread. Once this
// is gone the previous handler is back, and no line reaches `log`, not even one a library
// thread was about to hand over.
class DiagnosticRoute {
public:
    explicit DiagnosticRoute(reading::EventLog& log);
    ~DiagnosticRoute();
    DiagnosticRoute(const DiagnosticRoute&) = delete;
    DiagnosticRoute& operator=(const DiagnosticRoute&) = delete;

private:
    struct Target;
    std::shared_ptr<Target> target_;
    Tarolink::DiagnosticHandler previous_;
};

} // namespace tarovex
