#include "worker/WeightWorkerAnd.h"

#include "worker/ByteSource.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <chrono>
#include <exception>
#include <thread>

namespace tarovex::worker {

namespace {

// The check only advises and the run starts either way, so a line that cannot be set or
// read counts as one the balance does not answer on.
void raise(ByteSource& source, ByteSource::Control line) {
    try {
        source.setLine(line, true);
    } catch (const std::exception&) {
    }
}

bool readOrOff(ByteSource& source, ByteSource::Status line) {
    try {
        return source.isLineOn(line);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

std::optional<QString> WeightWorkerAnd::checkHandshake(ByteSource& s) {
    using namespace std::chrono_literals;
    if (!s.capabilities().modemLines)
        return handshakeWarning(false, false);
    raise(s, ByteSource::Control::DTR);
    std::this_thread::sleep_for(50ms);
    const bool dsr = readOrOff(s, ByteSource::Status::DSR);
    raise(s, ByteSource::Control::RTS);
    std::this_thread::sleep_for(50ms);
    const bool cts = readOrOff(s, ByteSource::Status::CTS);
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
