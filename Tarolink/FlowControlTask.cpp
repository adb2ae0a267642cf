#include "Tarolink/FlowControlTask.h"

#include "Tarolink/Diagnostics.h"
#include "Tarolink/SerialDriver.h"
#include "Tarolink/SerialExceptions.h"

#include <algorithm>

namespace Tarolink {

FlowControlTask::FlowControlTask(std::shared_ptr<SerialDriver> driver, int port)
    : driver_(std::move(driver)), port_(port) {
    diagnostic("FlowControlTask created");
}

FlowControlTask::~FlowControlTask() {
    abortRequest();
    if (thread_.joinable())
        thread_.join();
}

void FlowControlTask::start() {
    if (thread_.joinable())
        return;
    running_ = true;
    thread_ = std::thread(&FlowControlTask::run, this);
}

void FlowControlTask::setFlowPriority(int priority) {
    if (priority < MIN_PRIORITY || priority > MAX_PRIORITY)
        throw PortArgumentException("Invalid flow priority: " + std::to_string(priority));
    priority_ = std::min(priority, MAX_PRIORITY);
}

void FlowControlTask::run() {
    // One step above the port's own thread, so handshaking keeps up with the data.
    priority_ = std::min(priority_ + 1, MAX_PRIORITY);
    while (!stop_) {
        driver_->SerFlowTask(port_);
        ++rounds_;
    }
    running_ = false;
}

} // namespace Tarolink
