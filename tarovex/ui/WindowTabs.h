#pragma once

#include "tarovex/log/MessageLog.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <optional>

class QCheckBox;
class QPushButton;
class QTextBrowser;
class QWidget;

namespace tarovex::ui {

class InstrumentsPanel;
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
    InstrumentsPanel* instruments = nullptr;
    // Input
    PortBox* port = nullptr;
    QPushButton* refreshPorts = nullptr;
    QPushButton* findPort = nullptr;
    QPushButton* defaults = nullptr;
    QPushButton* customize = nullptr;
    // Processing
    QPushButton* adjustIgnore = nullptr;
    // Settings
    QPushButton* importSettings = nullptr;
    QPushButton* exportSettings = nullptr;
    QPushButton* checkComputer = nullptr;
    QCheckBox* startWithDesktop = nullptr; // the autostart entry, not a setting of the table
    QPushButton* exportReadings = nullptr;
    QPushButton* publish = nullptr;
    // Log, About
    LogView* log = nullptr;
    QTextBrowser* about = nullptr;

    // The control of each setting the tabs show, by the setting's key: a box to tick, a list
    // of its choices, a text field, or the button group of a choice shown as radio buttons.
    QMap<QString, QObject*> settings;
    // The control of `key` as a W, or nullptr.
    template <typename W> W* setting(const QString& key) const {
        return qobject_cast<W*>(settings.value(key));
    }
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
