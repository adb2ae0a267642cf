#pragma once

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

// Creates the worker of a run, which opens the port: a text (barcode) instrument gets a
// WeightWorkerBarcode; the presets AND and AND_EM get a WeightWorkerAnd, whose handshake
// check runs at once; every other instrument a WeightWorker. Not started yet. Throws what
// the constructors throw. Owner thread.
CreatedWorker createWeightWorker(WeightWorkerView& view, const config::Config& config);
// The same worker reading `source` (a recorded stream, see WeightWorker) instead of a port.
CreatedWorker createWeightWorkerOn(std::unique_ptr<Tarolink::SerialPort> source, WeightWorkerView& view,
                                   const config::Config& config);

} // namespace tarovex::worker
