#pragma once

#include "config/ResourceBundle.h"

namespace tarovex::worker {

// The worker messages, bundle "tarovex.worker.WorkerBundle".
const config::ResourceBundle& workerBundle();

} // namespace tarovex::worker
