#pragma once

#include "config/Config.h"
#include "worker/WeightWorkerFactory.h"

#include <QString>

namespace tarovex::console {

// The worker of `config`'s preset reading the recording at `path` ("-": standard input)
// instead of a port, as fast as its lines can be processed; the recording's end stops the
// run. Throws std::runtime_error with a text for the user when the recording cannot be
// opened.
worker::CreatedWorker createReplayWorker(worker::WeightWorkerView& view, const config::Config& config,
                                         const QString& path);

} // namespace tarovex::console
