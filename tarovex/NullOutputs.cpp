#include "tarovex/NullOutputs.h"

namespace tarovex {

RunServices recordingServices() {
    RunServices s;
    s.makeTyper = [](const config::Config&, worker::WeightWorkerView&) {
        return std::make_unique<RecordingTyper>();
    };
    s.makeSound = [](int) { return std::make_unique<RecordingSound>(); };
    s.capsLockOn = [] { return std::optional<bool>(); };
    return s;
}

} // namespace tarovex
