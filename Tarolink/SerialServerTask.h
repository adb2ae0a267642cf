#pragma once

#include <atomic>
#include <memory>
#include <thread>

namespace Tarolink {

class SerialConfig;
class SerialDriver;

// The thread of drivers that need a server loop of their own (only "EPOC"): its body
// calls the driver's SerServerTask once.
class SerialServerTask {
public:
    SerialServerTask(std::shared_ptr<SerialDriver> driver, SerialConfig& config);
    ~SerialServerTask();
    SerialServerTask(const SerialServerTask&) = delete;
    SerialServerTask& operator=(const SerialServerTask&) = delete;

    void start();
    void abortRequest() { stop_ = true; }
    bool isRunning() const { return running_; }
    // The driver's answer once the body ended (0 until then).
    int result() const { return result_; }

private:
    std::shared_ptr<SerialDriver> driver_;
    SerialConfig& config_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> result_{0};
    std::thread thread_;
};

} // namespace Tarolink
