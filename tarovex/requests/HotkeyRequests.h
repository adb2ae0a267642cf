#pragma once

#include "tarovex/run/GlobalHotkey.h"
#include "tarovex/run/ReadingConsumer.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tarovex {

class Requester;
class RunController;

// The request key of the desktop (setting requestHotkey): taken while a run reads, given
// back when it ends; each press asks for a reading as Read now does. Where no global key can
// be taken (Wayland) the log says once what to do instead. UI thread.
class HotkeyRequests : public QObject, public ReadingConsumer {
    Q_OBJECT

public:
    // Makes the desktop's key grabber; throws std::exception with the reason when there is
    // none. Called at the first run that has a key.
    using Factory = std::function<std::unique_ptr<GlobalHotkey>()>;

    // Follows every run of `run`, logs in its log and asks through `requester`; both must
    // outlive this.
    HotkeyRequests(RunController& run, Requester& requester, Factory make, QObject* parent = nullptr);

    void runStarted(const config::Config& config) override;
    void reading(const reading::DataLine&, ReadingOutcome) override {}
    void runStopped(const QString& reason) override;

    // The grabber, once made (tests press through it).
    GlobalHotkey* hotkey() const { return hotkey_.get(); }

private:
    RunController& run_;
    Requester& requester_;
    Factory make_;
    std::unique_ptr<GlobalHotkey> hotkey_;
    bool unavailableLogged_ = false;
};

} // namespace tarovex
