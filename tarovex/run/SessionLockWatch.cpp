#include "tarovex/run/SessionLockWatch.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <unistd.h>

namespace tarovex {

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallLimitMs = 2000;

QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments) {
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(arguments);
    return bus.call(m, QDBus::Block, kCallLimitMs);
}

QString objectPath(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
}

} // namespace

SessionLockWatch::SessionLockWatch(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        why_ = QStringLiteral("no system bus");
        return;
    }
    // Asked first, so that a bus without logind is not made to start it and keep us waiting.
    if (!bus_.interface() || !bus_.interface()->isServiceRegistered(service)) {
        why_ = QStringLiteral("logind is not running");
        return;
    }
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    QDBusMessage reply = call(bus_, managerPath, managerInterface, QStringLiteral("GetSession"),
                              {id.isEmpty() ? QStringLiteral("auto") : id});
    session_ = objectPath(reply);
    if (session_.isEmpty()) {
        // A user service is in no session: the user's graphical one is the one to watch.
        const QDBusMessage user = call(bus_, managerPath, managerInterface, QStringLiteral("GetUser"),
                                       {QVariant::fromValue(uint(::getuid()))});
        const QString userPath = objectPath(user);
        if (!userPath.isEmpty()) {
            const QDBusMessage display =
                call(bus_, userPath, properties, QStringLiteral("Get"),
                     {QStringLiteral("org.freedesktop.login1.User"), QStringLiteral("Display")});
            if (display.type() == QDBusMessage::ReplyMessage && !display.arguments().isEmpty()) {
                // (so): the session's id and path.
                const QDBusArgument arg = qvariant_cast<QDBusArgument>(
                    qvariant_cast<QDBusVariant>(display.arguments().first()).variant());
                QString sessionId;
                QDBusObjectPath path;
                arg.beginStructure();
                arg >> sessionId >> path;
                arg.endStructure();
                if (path.path() != u"/")
                    session_ = path.path();
            }
        }
    }
    if (session_.isEmpty()) {
        why_ = reply.errorMessage().isEmpty() ? QStringLiteral("logind knows no session of this program")
                                              : reply.errorMessage();
        return;
    }
    bus_.connect(service, session_, properties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    read();
}

void SessionLockWatch::read() {
    const QDBusMessage reply = call(bus_, session_, properties, QStringLiteral("Get"),
                                    {sessionInterface, QStringLiteral("LockedHint")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    const bool locked = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
    if (locked != locked_) {
        locked_ = locked;
        emit lockedChanged(locked);
    }
}

void SessionLockWatch::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                         const QStringList& invalidated) {
    if (interface != sessionInterface)
        return;
    if (changed.contains(QStringLiteral("LockedHint"))) {
        const bool locked = changed.value(QStringLiteral("LockedHint")).toBool();
        if (locked != locked_) {
            locked_ = locked;
            emit lockedChanged(locked);
        }
    } else if (invalidated.contains(QStringLiteral("LockedHint"))) {
        read();
    }
}

} // namespace tarovex
