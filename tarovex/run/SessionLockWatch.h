#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tarovex {

// Whether the desktop session of this program is locked, as logind says (its session's
// LockedHint, which lock screens set), told as it changes. The session is the one of
// $XDG_SESSION_ID, else the caller's, else the user's graphical one. Without logind (or a
// session of ours) it never reports a lock; available() is then false and why() says why.
class SessionLockWatch : public QObject {
    Q_OBJECT

public:
    explicit SessionLockWatch(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    bool available() const { return !session_.isEmpty(); }
    const QString& why() const { return why_; }
    bool locked() const { return locked_; }

signals:
    void lockedChanged(bool locked);

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    void read();

    QDBusConnection bus_;
    QString session_; // its object path
    QString why_;
    bool locked_ = false;
};

} // namespace tarovex
