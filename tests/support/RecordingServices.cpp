#include "tests/support/RecordingServices.h"

namespace tarovex_test {

tarovex::RunServices recordingServices() {
    tarovex::RunServices s;
    s.makeTyper = [](const tarovex::config::Config&, tarovex::reading::EventLog&) {
        return std::make_unique<RecordingTyper>();
    };
    s.makeSound = [](int) { return std::make_unique<RecordingSound>(); };
    s.capsLockOn = [] { return std::optional<bool>(); };
    return s;
}

} // namespace tarovex_test
