#pragma once

#include "tarovex/log/MessageLog.h"
#include "tarovex/RunController.h"
#include "tarovex/settings/SettingsForm.h"
#include "tarovex/settings/SettingsSession.h"
#include "tarovex/startup/StartupRules.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSystemTrayIcon;
class QTabWidget;

namespace Tarolink {
class UdevDeviceMonitor;
}

namespace tarovex::ui {

class DecimalSeparatorBox;
class LogView;

// What the window is built with; everything has a default for the real program.
struct FrameOptions {
    QStringList arguments; // without the program name
    RunServices services;
    std::shared_ptr<UpdateChecker> updateChecker;
    prefs::Preferences* settingsNode = nullptr; // none: nothing is loaded or saved
    Notifier* notifier = nullptr;               // none: message boxes
    // Yes/No and OK/Cancel questions; none: message boxes.
    std::function<bool(const QString& title, const QString& message)> ask;
    // A file for export (save = true) or import; empty when the user declined.
    std::function<QString(bool save, const QString& proposed)> chooseFile;
    // Ends the program with a status; none: the application's event loop ends with it.
    std::function<void(int status)> exit;
};

// The main window: a thin controller that turns its controls into settings and shows what
// the run reports. The decisions live in SettingsForm, StartupRules and RunController.
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
    static bool isClosing();

    // For tests and the screenshots: the parts a user sees.
    QTabWidget* tabbedPane() const { return tabbedPane_; }
    QPushButton* startStopJButton() const { return startStopJButton_; }
    QLabel* statusJLabel() const { return statusJLabel_; }
    LogView* logView() const { return logView_; }
    config::Config& config() { return session_.config(); }
    MessageLog& messageLog() { return log_; }
    void exportSettingsButtonActionPerformed();
    void importSettingsButtonActionPerformed();
    void refreshPortsButtonActionPerformed();
    // Opens the port detection over the port box's ports; the best one found is selected.
    void autoButtonActionPerformed();
    QPushButton* autoButton() const { return autoButton_; }
    QComboBox* portList() const { return portList_; }
    QCheckBox* checkForUpdatesCheckBox() const { return checkForUpdatesCheckBox_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void propertyChange(const config::PropertyChangeEvent& event) override;

    QWidget* buildStartTab();
    QWidget* buildInputTab();
    QWidget* buildProcessingTab();
    QWidget* buildOutputTab();
    QWidget* buildSettingsTab();
    QWidget* buildLogTab();
    QWidget* buildAboutTab();
    void initComponents();

    TabValues readControls() const;
    void showControls(const TabValues& values);
    void fillPortBox(const QStringList& ports);
    void portsChanged();
    std::optional<QStringList> listPorts(std::optional<int>& exitStatus);
    void applyTabsUpdate(const TabsUpdate& update);
    void showRoundingDialog();
    void checkField(QLineEdit* field);
    void instrumentChosen(int index);
    void defaultButtonActionPerformed();
    void customizeButtonActionPerformed();
    void adjustIgnoreButtonActionPerformed();
    void tabbedPaneStateChanged(int index);
    void setConnectedAppearance(bool connected);
    void setStatus(const QString& status);
    void addMinimizeToTraySupport();
    void notify(Notifier::Kind kind, const QString& title, const QString& message);
    bool ask(const QString& title, const QString& message);
    void exitWith(int status);

    FrameOptions options_;
    SettingsSession session_;
    MessageLog log_;
    std::unique_ptr<Notifier> ownNotifier_;
    std::unique_ptr<RunController> run_;
    bool portGivenOnCommandLine_ = false;
    bool roundingDialogOpen_ = false;
    QWidget* lastTab_ = nullptr;
    QList<QWidget*> tabs_; // in TabId order
    QList<QString> tabTitles_;

    QTabWidget* tabbedPane_ = nullptr;
    QLabel* statusJLabel_ = nullptr;
    QPushButton* startStopJButton_ = nullptr;
    QComboBox* portList_ = nullptr;
    QPushButton* autoButton_ = nullptr;
    QComboBox* instrumentBox_ = nullptr;
    QComboBox* bitRateBox_ = nullptr;
    QComboBox* dataBitsBox_ = nullptr;
    QComboBox* stopBitsBox_ = nullptr;
    QComboBox* parityBox_ = nullptr;
    QComboBox* inputTerminatorBox_ = nullptr;
    QComboBox* mathOperationBox_ = nullptr;
    QLineEdit* mathOperandTextField_ = nullptr;
    QLineEdit* decimalTextField_ = nullptr;
    QComboBox* roundingMethodBox_ = nullptr;
    QComboBox* editOperationComboBox_ = nullptr;
    QComboBox* editPositionComboBox_ = nullptr;
    QLineEdit* editNumCharactersTextField_ = nullptr;
    QLineEdit* removeCharactersTextField_ = nullptr;
    QCheckBox* ignoreDuplicatesCheckBox_ = nullptr;
    QCheckBox* reconnectCheckBox_ = nullptr;
    DecimalSeparatorBox* decimalSeparatorBox_ = nullptr;
    QComboBox* outputTerminatorBox_ = nullptr;
    QComboBox* outputTerminatorBox2_ = nullptr;
    QComboBox* soundComboBox_ = nullptr;
    QComboBox* keyboardTypeBox_ = nullptr;
    QComboBox* startWithBox_ = nullptr;
    QLineEdit* delayTextField_ = nullptr;
    QLineEdit* everyXValuesTextField_ = nullptr;
    QRadioButton* manualConnectButton_ = nullptr;
    QRadioButton* autoConnectButton_ = nullptr;
    QCheckBox* minimizeToTrayCheckBox_ = nullptr;
    QCheckBox* notifyWhenMinimizedToTrayCheckBox_ = nullptr;
    QCheckBox* checkForUpdatesCheckBox_ = nullptr;
    QCheckBox* abortAutoStartCheckBox_ = nullptr;
    LogView* logView_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    QString pendingStatus_;
    std::unique_ptr<Tarolink::UdevDeviceMonitor> portMonitor_;
    bool statusScheduled_ = false;
};

} // namespace tarovex::ui
