#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace tarovex::ui {

// The window's tray icon: a click (single or double) asks for the window, its menu offers
// Show, Start/Stop and Quit, and its tooltip carries the last reading and the status line.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~TrayIcon() override;

    static bool available() { return QSystemTrayIcon::isSystemTrayAvailable(); }
    // The program's icon in every size it ships, for the window and the tray.
    static QIcon programIcon();

    void setVisible(bool visible);
    // The Start/Stop entry says what it will do.
    void setRunning(bool running);
    void setStatus(const QString& status);
    // The last reading, named first; empty: none.
    void setReading(const QString& reading);
    void showMessage(const QString& message);

    // For tests: the menu, and the icon whose activation is handled.
    QMenu* menu() const { return menu_; }
    QSystemTrayIcon* icon() const { return icon_; }
    QString toolTip() const;

signals:
    void showRequested();
    void startStopRequested();
    void quitRequested();

private:
    void showToolTip();

    QSystemTrayIcon* icon_;
    QMenu* menu_;
    QAction* startStop_;
    QString status_;
    QString reading_;
};

} // namespace tarovex::ui
