#pragma once

#include "worker/OpenedPort.h"

#include <QObject>

#include <exception>
#include <functional>
#include <memory>
#include <variant>

namespace tarovex::worker {

// Opens the port of a run on a thread of its own, so that the thread that asks never waits
// on a device or a network (an unreachable address costs seconds, a hung device open
// longer). The outcome reaches the asking thread through its event loop.
//
// Destroying it abandons the open at once: `done` is not called, and a port that opens
// after all is closed again. The opening thread is never waited for, so it must not touch
// anything but what `open` owns.
class PortOpening {
public:
    // The opened port, or what the opening threw.
    using Outcome = std::variant<OpenedPort, std::exception_ptr>;

    // Starts `open` now; `done` runs later on the calling thread, which runs a Qt event loop.
    PortOpening(std::function<OpenedPort()> open, std::function<void(Outcome)> done);
    ~PortOpening();
    PortOpening(const PortOpening&) = delete;
    PortOpening& operator=(const PortOpening&) = delete;

private:
    struct Shared;
    void deliver();

    std::function<void(Outcome)> done_;
    // Receives the outcome's call; going with this, it takes an undelivered call along.
    QObject context_;
    std::shared_ptr<Shared> shared_;
};

} // namespace tarovex::worker
