#pragma once

#include "tarovex/log/MessageLog.h"

#include <QList>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTextBrowser;
class QWidget;

namespace tarovex::ui {

class DecimalSeparatorBox;
class LogView;
class PortBox;
class ReadingPanel;

// The controls of the window's tabs; the tab builders make them, the window wires them.
struct Controls {
    // Start
    QPushButton* startStop = nullptr;
    // Shown while running, for an instrument that knows the command.
    QPushButton* readNow = nullptr;
    QPushButton* tare = nullptr;
    QPushButton* zero = nullptr;
    ReadingPanel* reading = nullptr; // the last reading, while running
    // Input
    PortBox* port = nullptr;
    QPushButton* refreshPorts = nullptr;
    QPushButton* findPort = nullptr;
    QComboBox* instrument = nullptr;
    QComboBox* bitRate = nullptr;
    QComboBox* dataBits = nullptr;
    QComboBox* stopBits = nullptr;
    QComboBox* parity = nullptr;
    QComboBox* inputTerminator = nullptr;
    QCheckBox* reconnect = nullptr;
    QPushButton* defaults = nullptr;
    QPushButton* customize = nullptr;
    QLineEdit* requestCommand = nullptr;
    QLineEdit* requestInterval = nullptr;
    // Processing
    QComboBox* mathOperation = nullptr;
    QLineEdit* mathOperand = nullptr;
    QLineEdit* decimalPlaces = nullptr;
    QComboBox* roundingMethod = nullptr;
    QComboBox* editOperation = nullptr;
    QComboBox* editPosition = nullptr;
    QLineEdit* editNumCharacters = nullptr;
    QLineEdit* removeCharacters = nullptr;
    QCheckBox* ignoreDuplicates = nullptr;
    QPushButton* adjustIgnore = nullptr;
    QCheckBox* stableOnly = nullptr;
    QLineEdit* stableRegEx = nullptr;
    // Output
    DecimalSeparatorBox* decimalSeparator = nullptr;
    QComboBox* startWith = nullptr;
    QComboBox* outputTerminator = nullptr;
    QComboBox* outputTerminator2 = nullptr;
    QLineEdit* everyXValues = nullptr;
    QComboBox* keyboardType = nullptr;
    QLineEdit* delay = nullptr;
    QComboBox* sound = nullptr;
    // Settings
    QRadioButton* manualConnect = nullptr;
    QRadioButton* autoConnect = nullptr;
    QCheckBox* abortAutoStart = nullptr;
    QCheckBox* minimizeToTray = nullptr;
    QCheckBox* notifyWhenMinimizedToTray = nullptr;
    QCheckBox* checkForUpdates = nullptr;
    QPushButton* importSettings = nullptr;
    QPushButton* exportSettings = nullptr;
    QPushButton* checkComputer = nullptr;
    QLineEdit* requestHotkey = nullptr;
    QCheckBox* journal = nullptr;
    QLineEdit* journalDays = nullptr;
    QLineEdit* journalMaxMB = nullptr;
    QLineEdit* station = nullptr;
    QLineEdit* csvFile = nullptr;
    QPushButton* exportReadings = nullptr;
    QPushButton* publish = nullptr;
    // Log, About
    LogView* log = nullptr;
    QTextBrowser* about = nullptr;
};

// What the tabs say about this machine and build.
struct TabsContext {
    bool trayAvailable = false;
    // Why this build cannot check for updates; nothing when it can.
    std::optional<QString> noUpdateCheck;
};

// Builds the tabs in TabId order, filling `controls`.
QList<QWidget*> buildTabs(Controls& controls, MessageLog& log, const TabsContext& context);
// The tab titles, in TabId order.
QStringList tabTitles();
// The text of a key of the window's own part of the bundle ("RazezaRoZurFrame2.<key>").
QString frameText(const char* key);

} // namespace tarovex::ui
