#pragma once

#include <atomic>
#include <memory>
#include <thread>

namespace Tarolink {

class SerialDriver;

// The thread that carries out CTS-RTS / DSR-DTR handshaking in software for one port
// (only on "Windows 95"): it calls the driver's SerFlowTask round after round until asked
// to stop. Creating it passes the diagnostic line "FlowControlTask created".
class FlowControlTask {
public:
    static constexpr int MIN_PRIORITY = 1;
    static constexpr int NORM_PRIORITY = 5;
    static constexpr int MAX_PRIORITY = 10;

    // `port` is the zero-based number of the port it serves, taken now.
    FlowControlTask(std::shared_ptr<SerialDriver> driver, int port);
    // Asks the thread to stop and waits for its current round to end.
    ~FlowControlTask();
    FlowControlTask(const FlowControlTask&) = delete;
    FlowControlTask& operator=(const FlowControlTask&) = delete;

    void start();
    // Sets the stop flag; the thread ends after its current round.
    void abortRequest() { stop_ = true; }
    bool isAborted() const { return stop_; }
    bool isRunning() const { return running_; }
    int getPort() const { return port_; }
    // Scheduling priority 1..10 of the thread.
    int getFlowPriority() const { return priority_; }
    // Refuses values outside 1..10 (PortArgumentException); keeps at most the maximum.
    void setFlowPriority(int priority);
    // Rounds the thread has run so far.
    long rounds() const { return rounds_; }

private:
    void run();

    std::shared_ptr<SerialDriver> driver_;
    int port_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> priority_{NORM_PRIORITY};
    std::atomic<long> rounds_{0};
    std::thread thread_;
};

} // namespace Tarolink
