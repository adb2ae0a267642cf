#include "Tarolink/SerialServerTask.h"

#include "Tarolink/SerialDriver.h"

namespace Tarolink {

SerialServerTask::SerialServerTask(std::shared_ptr<SerialDriver> driver, SerialConfig& config)
    : driver_(std::move(driver)), config_(config) {}

SerialServerTask::~SerialServerTask() {
    abortRequest();
    if (thread_.joinable())
        thread_.join();
}

void SerialServerTask::start() {
    if (thread_.joinable())
        return;
    running_ = true;
    thread_ = std::thread([this] {
        if (!stop_)
            result_ = driver_->SerServerTask(config_);
        running_ = false;
    });
}

} // namespace Tarolink
