#pragma once

#include "worker/OpenedPort.h"
#include "worker/WeightWorker.h"

#include <QString>

#include <memory>
#include <optional>

namespace tarovex::worker {

// A worker as the preset calls for it, with what its start-up check had to say.
struct CreatedWorker {
    std::unique_ptr<WeightWorker> worker;
    // The handshake warning of a balance that does not answer (show it, titled with the
    // text of "warning"; the run goes on).
    std::optional<QString> warning;
};

// The port of a run opened (see openPort) with the preset's start-up check done: the
// presets AND and AND_EM check the handshake (WeightWorkerAnd), whose warning the port
// carries. May wait on the device or the network for seconds; any thread. Throws what
// openPort throws.
OpenedPort openWorkerPort(const config::Config& config);
// The same on `source` (a recorded stream, see WeightWorker) instead of a port.
OpenedPort openWorkerPortOn(std::unique_ptr<ByteSource> source, const config::Config& config);

// The worker of a run on its opened port: a text (barcode) instrument gets a
// WeightWorkerBarcode; the presets AND and AND_EM get a WeightWorkerAnd; every other
// instrument a WeightWorker. Not started yet. Does not wait or throw; owner thread.
CreatedWorker createWeightWorker(OpenedPort opened, WeightWorkerView& view, const config::Config& config);
// Both steps at once on the owner thread (which waits for the opening).
CreatedWorker createWeightWorker(WeightWorkerView& view, const config::Config& config);
CreatedWorker createWeightWorkerOn(std::unique_ptr<ByteSource> source, WeightWorkerView& view,
                                   const config::Config& config);

} // namespace tarovex::worker
