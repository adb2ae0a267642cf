#include "tarovex/station/Run.h"

#include <utility>

namespace tarovex {

Run::Run(std::unique_ptr<RunController> controller, HotkeyRequests::Factory makeHotkey, RunParts parts,
         std::shared_ptr<Round> round)
    : controller_(std::move(controller)), round_(std::move(round)) {
    RunController& run = *controller_;
    for (ReadingConsumer* consumer : parts.consumers)
        run.addConsumer(consumer);
    if (parts.record) {
        record_ = std::make_unique<RecordConsumer>(run, std::move(parts.journalPath));
        run.addConsumer(record_.get());
    }
    requester_ = std::make_unique<Requester>(run);
    if (parts.hotkeys)
        hotkeys_ = std::make_unique<HotkeyRequests>(run, *requester_, std::move(makeHotkey));
    if (round_)
        round_->enrol(*this);
}

Run::~Run() {
    if (round_)
        round_->leave(*this);
    controller_.reset();
}

std::unique_ptr<Run> assembleRun(const config::Config& config, RunServices services, Notifier& notifier,
                                 RunLog& log, RunParts parts) {
    HotkeyRequests::Factory makeHotkey = services.makeHotkey;
    std::shared_ptr<Round> round = services.round;
    return std::unique_ptr<Run>(
        new Run(std::make_unique<RunController>(config, std::move(services), notifier, log),
                std::move(makeHotkey), std::move(parts), std::move(round)));
}

std::unique_ptr<Run> assembleRun(const config::Config& config, RunServices services, Notifier& notifier,
                                 MessageLog& log, RunParts parts) {
    HotkeyRequests::Factory makeHotkey = services.makeHotkey;
    std::shared_ptr<Round> round = services.round;
    return std::unique_ptr<Run>(
        new Run(std::make_unique<RunController>(config, std::move(services), notifier, log),
                std::move(makeHotkey), std::move(parts), std::move(round)));
}

} // namespace tarovex
