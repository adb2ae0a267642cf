#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace tarovex {

class SessionLockWatch;
class XScreenSaverWatch;

// Whether the screen is locked, from the one source this session has: logind's LockedHint of
// our session, else, on an X server (not Wayland), the X screen saver, which X lockers keep on
// while they run. The one place that picks, so that the window, the console and the station
// wire a single watch.
class LockWatch : public QObject {
    Q_OBJECT

public:
    // This session's: the system bus, and $DISPLAY when the session is X11.
    explicit LockWatch(QObject* parent = nullptr);
    // x11Display: the X display to fall back on, empty when there is none.
    LockWatch(QDBusConnection bus, const std::string& x11Display, QObject* parent = nullptr);
    ~LockWatch() override;

    bool locked() const { return locked_; }
    // One line for the log: which source watches, or why none can.
    const QString& summary() const { return summary_; }

signals:
    void lockedChanged(bool locked);

private:
    void setLocked(bool locked);

    std::unique_ptr<SessionLockWatch> logind_;
    std::unique_ptr<XScreenSaverWatch> saver_;
    QString summary_;
    bool locked_ = false;
};

} // namespace tarovex
