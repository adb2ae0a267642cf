#include "tarovex/run/LockWatch.h"

#include "tarovex/run/SessionLockWatch.h"
#include "tarovex/run/XScreenSaverWatch.h"
#include "tarovex/texts/ShellBundle.h"
#include "typing/KeyOutputFactory.h"

namespace tarovex {

namespace {

std::string x11DisplayOfThisSession() {
    const typing::SessionEnvironment environment = typing::SessionEnvironment::current();
    return environment.isX11Session() ? environment.display : std::string();
}

} // namespace

LockWatch::LockWatch(QObject* parent)
    : LockWatch(QDBusConnection::systemBus(), x11DisplayOfThisSession(), parent) {}

LockWatch::LockWatch(QDBusConnection bus, const std::string& x11Display, QObject* parent)
    : QObject(parent), logind_(std::make_unique<SessionLockWatch>(std::move(bus))) {
    if (logind_->available()) {
        summary_ = shellBundle().format(QStringLiteral("lock.watch.logind"), {});
        connect(logind_.get(), &SessionLockWatch::lockedChanged, this, &LockWatch::setLocked);
        locked_ = logind_->locked();
        return;
    }
    const QString logindWhy = logind_->why();
    logind_.reset();
    QString saverWhy = QStringLiteral("not an X11 session");
    if (!x11Display.empty()) {
        saver_ = std::make_unique<XScreenSaverWatch>(x11Display);
        if (saver_->available()) {
            summary_ = shellBundle().format(QStringLiteral("lock.watch.x11"), {logindWhy});
            connect(saver_.get(), &XScreenSaverWatch::lockedChanged, this, &LockWatch::setLocked);
            locked_ = saver_->locked();
            return;
        }
        saverWhy = saver_->why();
        saver_.reset();
    }
    summary_ = shellBundle().format(QStringLiteral("lock.watch.none"), {logindWhy, saverWhy});
}

LockWatch::~LockWatch() = default;

void LockWatch::setLocked(bool locked) {
    if (locked == locked_)
        return;
    locked_ = locked;
    emit lockedChanged(locked);
}

} // namespace tarovex
