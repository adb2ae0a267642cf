#include "worker/WeightWorkerAnd.h"

#include "Tarolink/SerialPort.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <chrono>
#include <exception>
#include <thread>

namespace tarovex::worker {

namespace {

using Tarolink::SerialPort;

// The check only advises and the run starts either way, so a line that cannot be set or
// read counts as one the balance does not answer on.
void raise(SerialPort& port, void (SerialPort::*set)(bool)) {
    try {
        (port.*set)(true);
    } catch (const std::exception&) {
    }
}

bool readOrOff(SerialPort& port, bool (SerialPort::*signal)()) {
    try {
        return (port.*signal)();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

std::optional<QString> WeightWorkerAnd::checkHandshake(SerialPort& p) {
    using namespace std::chrono_literals;
    raise(p, &SerialPort::setDTR);
    std::this_thread::sleep_for(50ms);
    const bool dsr = readOrOff(p, &SerialPort::sigDSR);
    raise(p, &SerialPort::setRTS);
    std::this_thread::sleep_for(50ms);
    const bool cts = readOrOff(p, &SerialPort::sigCTS);
    return handshakeWarning(dsr, cts);
}

std::optional<QString> WeightWorkerAnd::handshakeWarning(bool dsr, bool cts) {
    if (dsr && cts)
        return std::nullopt;
    const QLatin1StringView key = dsr   ? WorkerMessages::AND_ERROR_UNUSUAL
                                  : cts ? WorkerMessages::AND_ERROR_DATASET_NOT_READY
                                        : WorkerMessages::AND_ERROR_NOT_CONNECTED;
    return workerBundle().getString(key);
}

} // namespace tarovex::worker
