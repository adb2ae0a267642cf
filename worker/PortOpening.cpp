#include "worker/PortOpening.h"

#include <mutex>
#include <optional>
#include <thread>

namespace tarovex::worker {

// Between the opening thread and the asking one.
struct PortOpening::Shared {
    std::mutex mutex;
    PortOpening* owner = nullptr; // none once abandoned
    std::optional<Outcome> outcome;
};

PortOpening::PortOpening(std::function<OpenedPort()> open, std::function<void(Outcome)> done)
    : done_(std::move(done)), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    std::thread([shared = shared_, open = std::move(open)]() mutable {
        Outcome outcome;
        try {
            outcome = open();
        } catch (...) {
            outcome = std::current_exception();
        }
        std::unique_lock lock(shared->mutex);
        if (!shared->owner)
            return; // abandoned: the port closes here, with the outcome
        shared->outcome = std::move(outcome);
        PortOpening* owner = shared->owner;
        QMetaObject::invokeMethod(
            &owner->context_, [owner] { owner->deliver(); }, Qt::QueuedConnection);
    }).detach();
}

PortOpening::~PortOpening() {
    std::optional<Outcome> late;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
        late = std::move(shared_->outcome);
    }
    // An outcome that arrived but was not delivered: its port closes here, as the opening
    // thread has gone.
}

void PortOpening::deliver() {
    std::optional<Outcome> outcome;
    {
        std::lock_guard lock(shared_->mutex);
        outcome = std::move(shared_->outcome);
    }
    if (!outcome)
        return;
    // The call may destroy this.
    const std::function<void(Outcome)> done = std::move(done_);
    done(std::move(*outcome));
}

} // namespace tarovex::worker
