#include "Tarolink/Diagnostics.h"

#include <cstdio>
#include <mutex>

namespace Tarolink {

namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

DiagnosticHandler& installed() {
    static DiagnosticHandler h;
    return h;
}

void toStandardError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

DiagnosticHandler setDiagnosticHandler(DiagnosticHandler handler) {
    std::lock_guard lock(handlerMutex());
    DiagnosticHandler old = std::move(installed());
    installed() = std::move(handler);
    return old;
}

void diagnostic(const std::string& line) {
    DiagnosticHandler h;
    {
        std::lock_guard lock(handlerMutex());
        h = installed();
    }
    // Called outside the lock: a handler may take its time or log from several threads.
    if (h)
        h(line);
    else
        toStandardError(line);
}

} // namespace Tarolink
