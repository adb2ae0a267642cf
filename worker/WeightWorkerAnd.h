#pragma once

#include "worker/WeightWorker.h"

#include <optional>

namespace tarovex::worker {

// The worker for the balances that answer on the modem-control lines: before the run it
// raises DTR and RTS and checks that the balance answers on DSR and CTS. The loop itself
// is WeightWorker's.
class WeightWorkerAnd : public WeightWorker {
    Q_OBJECT

public:
    // As WeightWorker's: opens the port.
    WeightWorkerAnd(WeightWorkerView& view, const config::Config& config) : WeightWorker(view, config) {}
    WeightWorkerAnd(WeightWorkerView& view, const config::Config& config, std::unique_ptr<ByteSource> source)
        : WeightWorker(view, config, std::move(source)) {}
    WeightWorkerAnd(WeightWorkerView& view, const config::Config& config, OpenedPort opened)
        : WeightWorker(view, config, std::move(opened)) {}

    // Sets DTR on, waits 50 ms, reads DSR, sets RTS on, waits 50 ms, reads CTS. Returns the
    // warning to show (titled with the text of "warning") when the balance does not answer
    // on both lines, nothing when it does; a line that cannot be set or read counts as not
    // answered, and so does every line of a source without modem lines. The run starts
    // either way. Owner thread, before start(); does not throw.
    std::optional<QString> checkHandshake() { return checkHandshake(source()); }
    // The same on `source` before it has a worker; any thread.
    static std::optional<QString> checkHandshake(ByteSource& source);

    // The warning for a pair of answers, nothing for DSR and CTS both on.
    static std::optional<QString> handshakeWarning(bool dsr, bool cts);
};

} // namespace tarovex::worker
