#pragma once

#include "config/Config.h"
#include "config/StabilityMarks.h"
#include "tarovex/log/MessageLog.h"
#include "tarovex/run/OutputShaper.h"
#include "tarovex/run/ReadingConsumer.h"
#include "tarovex/run/RunServices.h"
#include "worker/Ignorer.h"
#include "worker/PortOpening.h"
#include "worker/WeightWorker.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tarovex {

class LockWatch;

// One acquisition run, without a display, for the window and the console alike: Start
// creates the keystroke output, the sound and the repeat filter and has the port opened on
// a thread of its own; once it is open, the worker reads it. Every received line goes
// through the filter, the consumers, the keystroke output, the sound and the log; Stop ends
// them all, also while the port is still opening.
//
// Nothing here waits for typing: a value being typed at Stop is completed in the
// background, values not yet typed are dropped, and a new Start types once it is complete.
// It is the worker's view. UI thread only (the worker reports on it).
class RunController : public QObject, public worker::WeightWorkerView {
    Q_OBJECT

public:
    // How long closing waits for the value being typed; it has a second to complete in its
    // own window, then it is cut short.
    static constexpr std::chrono::milliseconds kShutdownBound{2000};

    RunController(const config::Config& config, RunServices services, Notifier& notifier, RunLog& log,
                  QObject* parent = nullptr);
    // Messages and received lines go to the window's message log.
    RunController(const config::Config& config, RunServices services, Notifier& notifier, MessageLog& log,
                  QObject* parent = nullptr);
    // A value still being typed is abandoned (its keys released).
    ~RunController() override;

    bool isConnected() const { return connected_; }
    // True from start() until the port is open or the opening failed or was stopped.
    bool isOpening() const { return opening_ != nullptr; }
    // Start when stopped, stop when opening or running. Start reads the settings given at
    // construction (the window reads its controls into them first).
    void startStop();
    // Begins a run and returns at once: the port opens in the background, then
    // connectedChanged(true) follows, or startFailed once the failure has been shown. False
    // when the run cannot begin at all (typing required and impossible).
    bool start();
    // Returns at once; the run ends with runEnded. A port still opening is abandoned (and
    // closed once it opens).
    void stop();
    // Stops, and calls `done` on this thread once the reading has ended and the value being
    // typed is complete; after `bound` that value is abandoned (its keys released, the rest
    // dropped, which is logged).
    void shutdown(std::function<void()> done, std::chrono::milliseconds bound = kShutdownBound);

    // True while our own window has the keyboard focus: values wait instead of being typed
    // into it. Holds across runs.
    void setTypingHeld(bool held);
    bool isTypingHeld() const { return held_; }
    // True while the desktop session is locked: no value is typed into the lock screen; those
    // that come or wait are dropped as "locked", and typing resumes with new readings only.
    // Holds across runs.
    void setSessionLocked(bool locked);
    // Follows the watch from now on; a run that types says at its start what watches.
    void watchLock(const LockWatch& watch);
    // A run that cannot type does not start (the console's --type).
    void setTypingRequired(bool required) { typingRequired_ = required; }
    // How long a value asked for by a desktop shortcut waits where the keyboard cannot be
    // seen: longer than a shortcut is usually held.
    static constexpr std::chrono::milliseconds kShortcutSettle{500};
    // A desktop shortcut (tarovex --request, a signal bound to a key) asks for a reading now.
    void shortcutRequested();
    // Hands bytes to the instrument through the running worker; dropped when stopped.
    void send(const QByteArray& bytes);
    // Follows every run from now on; not owned, must outlive this.
    void addConsumer(ReadingConsumer* consumer) { consumers_.append(consumer); }
    // The settings of the current run, as they were at its start.
    const config::Config& runSettings() const { return runConfig_; }
    // The station's rounds when they apply to the current run, or to the next while stopped
    // (setting round, more than one instrument): its values are then kept for rounds, never
    // typed as they arrive.
    Round* rounds() const;
    // Queues a row of a round for the keyboard; `fate` hears what became of it. False when
    // this run has no keyboard or it refused the row.
    using RowFate = std::function<void(Delivery delivery, QLatin1StringView reason)>;
    bool typeRow(std::vector<typing::RowPart> row, RowFate fate);
    // What this run types for the value of `line` (queued under `id`): its start key, text
    // and terminator, or its output template's steps, which the value's record then shows.
    typing::RowPart rowPart(const reading::DataLine& line, std::uint64_t id);
    // The fate of a value a round kept (what became of its row).
    void settleKept(std::uint64_t id, Delivery delivery, QLatin1StringView reason) {
        settle(id, delivery, reason);
    }

    // The parts of the current run (tests look at them).
    ValueTyper* typer() const { return typer_.get(); }
    worker::SoundOutput* sound() const { return sound_.get(); }
    // True while a value of a stopped run is still being typed.
    bool isFinishingTyping() const { return !finishing_.empty(); }
    // Values handed to the keyboard whose fate is not known yet, and when the oldest of them
    // arrived (a value is dropped once it waited KeystrokeQueue::kDefaultMaxAge).
    struct Waiting {
        std::size_t count = 0;
        std::chrono::steady_clock::time_point oldest{};
    };
    Waiting waiting() const;
    // What the Start tab says while values wait for our window to lose the focus, at `now`.
    QString waitingText(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;

    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void setConnectedInGUI(bool connected) override;
    void dataLineReceived(reading::DataLine line) override;

signals:
    // The running (true) or stopped appearance is due.
    void connectedChanged(bool connected);
    // The port of a run began opening (true; the status says which), or the opening ended.
    void openingChanged(bool opening);
    // The port could not be opened (the failure has been shown); the run did not start.
    // The first line of `message` says why and names the port.
    void startFailed(const QString& message);
    // A new status line text.
    void statusChanged(const QString& text);
    // Values wait for the hold to end (true), or no longer (false): the window asks the user
    // to click into the application that should receive them (text "values.waiting").
    void valuesWaiting(bool waiting);
    // The reading of a run has ended: `reason` is empty when it was stopped (or its
    // recording ended), else why it ended by itself, in one line for the status bar.
    void runEnded(const QString& reason);

private:
    RunController(const config::Config& config, RunServices services, Notifier& notifier,
                  std::unique_ptr<RunLog> ownLog, RunLog* log, QObject* parent);
    void opened(worker::PortOpening::Outcome outcome);
    void failStart(const QString& title, const QString& message);
    void run(worker::CreatedWorker created);
    void reportAbandonedOpen();
    void retireTyper();
    void typerEnded(ValueTyper* typer);
    void workerFinished();
    void endRun(const QString& reason);
    void showWaiting(bool waiting);
    void checkShutdown();
    void abandonTyping();
    void settle(std::uint64_t id, Delivery delivery, QLatin1StringView reason);
    void tellSettled(const reading::DataLine& line, Delivery delivery, QLatin1StringView reason);
    void settleAll(const std::vector<std::uint64_t>& ids, QLatin1StringView reason);
    void typingFates(const std::vector<typing::TypingFate>& fates);

    const config::Config& config_;
    // The settings of the current run, as they were at its start.
    config::Config runConfig_;
    RunServices services_;
    Notifier& notifier_;
    std::unique_ptr<RunLog> ownLog_;
    RunLog& log_;
    QList<ReadingConsumer*> consumers_;
    bool connected_ = false;
    bool runOpen_ = false; // consumers were told of a start and not yet of its end
    bool held_ = false;
    bool locked_ = false;
    QString lockWatch_; // its log line at Start
    bool waitingShown_ = false;
    bool typingRequired_ = false;
    std::unique_ptr<ValueTyper> typer_;
    bool typerStarted_ = false;
    // Typers of stopped runs completing their value; each goes once it has ended.
    std::vector<std::unique_ptr<ValueTyper>> finishing_;
    std::unique_ptr<worker::SoundOutput> sound_;
    std::optional<worker::Ignorer> ignorer_;
    std::optional<OutputShaper> shaper_;
    // With stableOnly: the marks of the run's lines.
    std::optional<config::StabilityReader> stability_;
    std::unique_ptr<worker::PortOpening> opening_;
    // A run stopped while its port was opening: its end is not reported yet.
    bool abandonedOpen_ = false;
    std::unique_ptr<worker::WeightWorker> worker_;
    // The values handed to the keyboard, by arrival, until their fate is known.
    struct Pending {
        reading::DataLine line;
        std::chrono::steady_clock::time_point queuedAt;
    };
    std::map<std::uint64_t, Pending> pending_;
    // The rows of rounds handed to the keyboard, until their fate is known.
    std::map<std::uint64_t, RowFate> rows_;
    std::uint64_t lastValueId_ = 0;
    std::function<void()> shutdownDone_;
    QTimer shutdownTimer_;
};

} // namespace tarovex
