#include "worker/WorkerBundle.h"

namespace tarovex::worker {

const config::ResourceBundle& workerBundle() {
    static const auto bundle = config::ResourceBundle::getBundle(QStringLiteral("tarovex.worker.WorkerBundle"));
    return *bundle;
}

} // namespace tarovex::worker
