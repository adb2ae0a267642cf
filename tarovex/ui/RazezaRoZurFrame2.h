#pragma once

#include "tarovex/log/DiagnosticLog.h"
#include "tarovex/log/MessageLog.h"
#include "tarovex/ports/PortList.h"
#include "tarovex/run/LastReading.h"
#include "tarovex/run/MessageLogWriter.h"
#include "tarovex/settings/SettingsForm.h"
#include "tarovex/settings/SettingsSession.h"
#include "tarovex/startup/StartupRules.h"
#include "tarovex/station/Run.h"
#include "tarovex/station/StationInstruments.h"
#include "tarovex/ui/WindowTabs.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tarovex::ports {
class PortWatcher;
} // namespace tarovex::ports

namespace tarovex::ui {

class DecimalSeparatorBox;
class LogView;
class PortBox;
class TrayIcon;

// What the window is built with; everything has a default for the real program.
struct FrameOptions {
    QStringList arguments; // without the program name
    RunServices services;
    std::shared_ptr<UpdateChecker> updateChecker;
    prefs::Preferences* settingsNode = nullptr; // none: nothing is loaded or saved
    // Why the settings store could not be opened (shown at start-up); none: it was.
    std::optional<QString> settingsStoreError;
    Notifier* notifier = nullptr; // none: message boxes
    // Yes/No questions; none: message boxes.
    std::function<bool(const QString& title, const QString& message)> ask;
    // A file for export (save = true) or import; empty when the user declined.
    std::function<QString(bool save, const QString& proposed)> chooseFile;
    // Started by the desktop at login: the run starts by itself, the window is minimised.
    bool withDesktop = false;
    // Ends the program with a status; none: the application's event loop ends with it.
    std::function<void(int status)> exit;
    // The machine's ports; none: the serial library's listing.
    std::function<ports::PortListing()> listPorts;
};

// The main window: a thin controller that binds its controls to the settings and shows
// what the run reports. The decisions live in SettingsForm, StartupPlan, StartupRules and
// RunController; the controls are built in WindowTabs and bound in ControlBindings.
class RazezaRoZurFrame2 : public QMainWindow, private config::PropertyChangeListener {
    Q_OBJECT

public:
    explicit RazezaRoZurFrame2(FrameOptions options, QWidget* parent = nullptr);
    ~RazezaRoZurFrame2() override;

    // The start-up sequence after construction: ports, settings, controls, icons, tray,
    // auto start. Returns an exit status when the program must end instead of running.
    std::optional<int> startUp();

    void startStop();
    void updateConfigFromTabs();
    bool isConnected() const { return run_ && run_->isConnected(); }
    // Asks the instrument of that label (none: every instrument) for a reading as a desktop
    // shortcut does: "ok" when any was asked, else why not.
    QString requestReading(const QString& label = {});
    static bool isClosing();

    // For tests and the screenshots: the parts a user sees and the buttons' actions.
    const Controls& controls() const { return controls_; }
    QTabWidget* tabs() const { return tabs_; }
    QLabel* statusLabel() const { return statusLabel_; }
    TrayIcon* trayIcon() const { return tray_; }
    const LastReading& lastReading() const { return *lastReading_; }
    config::Config& config() { return session_.config(); }
    MessageLog& messageLog() { return log_; }
    void exportSettings();
    void importSettings();
    void changeStartWithDesktop(bool on);
    void refreshPorts();
    // Opens the port detection over the port box's ports; the best one found is selected.
    void findPort();
    // Opens the check of this computer for the port of the port box.
    void checkComputer();
    void exportReadings();
    // Opens "Publishing readings"; OK stores and saves the publishing settings.
    void editPublishing();
    // The instruments beyond the first, and the dialogs of the Start tab's buttons on them
    // (not modal: the runs go on meanwhile).
    StationInstruments& instruments() { return *instruments_; }
    void addInstrument();
    void renameInstrument();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void propertyChange(const config::PropertyChangeEvent& event) override;

    void initComponents();
    void connectControls();
    void showPortChoices(const QList<ports::PortChoice>& listed);
    void applyTabsUpdate(const TabsUpdate& update);
    void showRoundingDialog();
    void checkField(QLineEdit* field);
    void showTemplateChoices();
    // The controls the window drives itself besides the bindings.
    DecimalSeparatorBox* decimalSeparatorBox() const;
    QComboBox* terminatorBox() const;
    void instrumentChosen(int index);
    void restoreDefaults();
    void editCustomRegEx();
    void editIgnoreLimits();
    void tabChanged(int index);
    // Saves the settings if they changed; a failure goes to the log.
    void autosave();
    void setConnectedAppearance(bool connected);
    // The Input, Processing and Output tabs show the settings of the instrument selected in the
    // instruments table; the Settings tab holds the station's, whichever that is.
    void editInstrument(int row);
    // The further instrument the tabs show (its index), or -1 for the first.
    int editedFurther() const;
    config::Config& editedConfig();
    void showEditedSettings();
    // Stores a further instrument's settings shown on the tabs; a failure goes to the log.
    void saveEditedFurther();
    // The settings tabs are away while the instrument they show reads.
    void showSettingsTabs();
    // Above the Input, Processing and Output tabs: whose settings they show.
    void showEditedName();
    // Why the first instrument cannot start now; empty when it can.
    QString firstCannotStart() const;
    void startFurther(int i);
    QString renameFurther(int i, const QString& label, const QStringList& takenLabels);
    // Whether any instrument of the station reads or waits for its port.
    bool anyInstrumentRunning() const;
    // Start or Stop on the button and in the tray, for the whole station.
    void showStartStop();
    // The instruments table: the first instrument, then the further ones.
    void showInstruments();
    QString firstInstrumentState() const;
    void startStopSelectedInstrument();
    void removeSelectedInstrument();
    void setStatus(const QString& status);
    // The status line of the run's state: running, or why the last run ended, or ready.
    QString runningStatus() const;
    void addMinimizeToTraySupport();
    void showFromTray();
    void notify(Notifier::Kind kind, const QString& title, const QString& message);
    bool ask(const QString& title, const QString& message);
    void exitWith(int status);

    FrameOptions options_;
    SettingsSession session_;
    MessageLog log_;
    MessageLogWriter diagnosticsLog_{log_};
    std::unique_ptr<DiagnosticRoute> diagnostics_;
    std::unique_ptr<Notifier> ownNotifier_;
    // Declared before the run, which calls it until it goes.
    std::unique_ptr<LastReading> lastReading_;
    std::unique_ptr<Run> station_;
    RunController* run_ = nullptr;                    // the controller of station_
    std::unique_ptr<StationInstruments> instruments_; // gone before the first's run
    const StationInstruments::Instrument* edited_ =
        nullptr;              // whose settings the tabs show; none: the first's
    QStringList stationKeys_; // the settings of the Settings tab
    std::optional<QString> commandLinePort_;
    bool roundingDialogOpen_ = false;
    int lastTabIndex_ = 0;
    QList<QWidget*> tabPages_; // in TabId order
    QStringList tabTitles_;
    QList<QLabel*> editedNames_;
    Controls controls_;
    QTabWidget* tabs_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    TrayIcon* tray_ = nullptr;
    ports::PortWatcher* portWatcher_ = nullptr;
    QString pendingStatus_;
    QString endReason_; // why the last run ended by itself; empty: stopped or none
    bool statusScheduled_ = false;
};

} // namespace tarovex::ui
