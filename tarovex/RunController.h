#pragma once

#include "config/Config.h"
#include "tarovex/RunServices.h"
#include "tarovex/log/MessageLog.h"
#include "worker/Ignorer.h"
#include "worker/WeightWorker.h"

#include <QObject>

#include <memory>
#include <optional>

namespace tarovex {

// One acquisition run, without a display: Start creates the keystroke output, the sound, the
// repeat filter and the worker (which opens the port) and starts them; every received line
// goes through the filter, the sound, the log and the keystroke output; Stop ends them all.
// It is the worker's view. UI thread only (the worker reports on it).
class RunController : public QObject, public worker::WeightWorkerView {
    Q_OBJECT

public:
    RunController(const config::Config& config, RunServices services, Notifier& notifier, MessageLog& log,
                  QObject* parent = nullptr);
    ~RunController() override;

    bool isConnected() const { return connected_; }
    // Start when stopped, stop when running. Start reads the settings given at construction
    // (the window reads its controls into them first).
    void startStop();
    // True when the worker was started (the port is open).
    bool start();
    void stop();

    // The parts of the current run (tests look at them).
    ValueTyper* typer() const { return typer_.get(); }
    SoundPlayer* sound() const { return sound_.get(); }
    worker::WeightWorker* weightWorker() const { return worker_.get(); }

    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void setConnectedInGUI(bool connected) override;
    void dataLineReceived(worker::DataLine line) override;

signals:
    // The running (true) or stopped appearance is due.
    void connectedChanged(bool connected);
    // A new status line text.
    void statusChanged(const QString& text);

private:
    void releaseOutputs();
    void workerFinished();

    const config::Config& config_;
    RunServices services_;
    Notifier& notifier_;
    MessageLog& log_;
    bool connected_ = false;
    std::unique_ptr<ValueTyper> typer_;
    std::unique_ptr<SoundPlayer> sound_;
    std::optional<worker::Ignorer> ignorer_;
    std::unique_ptr<worker::WeightWorker> worker_;
};

} // namespace tarovex
