#include "worker/WeightWorkerAnd.h"

#include "Tarolink/SerialPort.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <chrono>
#include <thread>

namespace tarovex::worker {

std::optional<QString> WeightWorkerAnd::checkHandshake() {
    using namespace std::chrono_literals;
    Tarolink::SerialPort& p = port();
    p.setDTR(true);
    std::this_thread::sleep_for(50ms);
    const bool dsr = p.sigDSR();
    p.setRTS(true);
    std::this_thread::sleep_for(50ms);
    const bool cts = p.sigCTS();
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
