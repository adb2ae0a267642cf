#pragma once

#include "journal/JournalDb.h"
#include "tarovex/requests/HotkeyRequests.h"
#include "tarovex/requests/Requester.h"
#include "tarovex/run/RecordConsumer.h"
#include "tarovex/run/RunController.h"
#include "tarovex/station/Round.h"

#include <QList>
#include <QString>

#include <memory>

namespace tarovex {

// What a run is assembled with besides its settings and services.
struct RunParts {
    // Consumers of the front end (the window's large reading, the console's standard
    // output), attached first; not owned, they must outlive the run.
    QList<ReadingConsumer*> consumers{};
    // The journal, the live CSV file and MQTT; a replay is neither recorded nor published.
    bool record = true;
    QString journalPath = journal::JournalDb::defaultPath();
    // The desktop's request key, through the services' makeHotkey (without one the log
    // says at a start that no key can be taken); the console takes none.
    bool hotkeys = true;
};

class Run;

// Assembles a run: the controller on `config` (read at each start), the front end's
// consumers, the record, the requester and the request key. The window and the console
// both make theirs here.
std::unique_ptr<Run> assembleRun(const config::Config& config, RunServices services, Notifier& notifier,
                                 RunLog& log, RunParts parts = {});
// Messages and received lines go to the window's message log.
std::unique_ptr<Run> assembleRun(const config::Config& config, RunServices services, Notifier& notifier,
                                 MessageLog& log, RunParts parts = {});

// One run and everything that follows it, owned together. Each run has its own state;
// runs share only what their services share (the keyboard lane), so several can live in
// one process. UI thread.
class Run {
public:
    // The controller goes first, while the consumers it may still call are there.
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    RunController& controller() { return *controller_; }
    const RunController& controller() const { return *controller_; }
    // None when the run is not recorded.
    RecordConsumer* record() { return record_.get(); }
    Requester& requester() { return *requester_; }
    // None when the run takes no key.
    HotkeyRequests* hotkeys() { return hotkeys_.get(); }
    // The station's rounds when they apply to this run, else none.
    Round* rounds() { return controller_->rounds(); }

private:
    friend std::unique_ptr<Run> assembleRun(const config::Config&, RunServices, Notifier&, RunLog&, RunParts);
    friend std::unique_ptr<Run> assembleRun(const config::Config&, RunServices, Notifier&, MessageLog&,
                                            RunParts);
    Run(std::unique_ptr<RunController> controller, HotkeyRequests::Factory makeHotkey, RunParts parts,
        std::shared_ptr<Round> round);

    std::unique_ptr<RecordConsumer> record_;
    std::unique_ptr<RunController> controller_;
    std::unique_ptr<Requester> requester_;
    std::unique_ptr<HotkeyRequests> hotkeys_; // after the requester it asks
    std::shared_ptr<Round> round_;            // the station's, where this run is enrolled
};

} // namespace tarovex
