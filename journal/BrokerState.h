#pragma once

#include <cstdint>

namespace tarovex::journal {

// The MQTT publisher's connection, for whoever shows it.
struct BrokerState {
    bool connected = false;
    std::int64_t waiting = 0; // readings in the journal the broker has not acknowledged
};

} // namespace tarovex::journal
