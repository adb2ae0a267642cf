#include "tarovex/log/DiagnosticLog.h"

#include <mutex>

namespace tarovex {

struct DiagnosticRoute::Target {
    std::mutex mutex;
    reading::EventLog* log; // nullptr once the route is gone
};

DiagnosticRoute::DiagnosticRoute(reading::EventLog& log) : target_(std::make_shared<Target>()) {
    target_->log = &log;
    // The handler holds the target, not the log: a line copied out before the route went
    // finds it empty.
    previous_ = Tarolink::setDiagnosticHandler([target = target_](const std::string& line) {
        const std::lock_guard lock(target->mutex);
        if (target->log)
            target->log->logEvent(QString::fromStdString(line));
    });
}

DiagnosticRoute::~DiagnosticRoute() {
    Tarolink::setDiagnosticHandler(std::move(previous_));
    const std::lock_guard lock(target_->mutex);
    target_->log = nullptr;
}

} // namespace tarovex
