#include "typing/MutterKeyOutput.h"

#include "typing/KeysymPlan.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

#include <atomic>
#include <stdexcept>

namespace tarovex::typing {
namespace {

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString servicePath = QStringLiteral("/org/gnome/Mutter/RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr Keysym shiftKeysym = 0xffe1; // Shift_L

// A connection of our own: Mutter lets only the connection that created a session drive it,
// and closes the session when that connection goes.
QDBusConnection connect(const std::string& address, const QString& name) {
    return address.empty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                           : QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

QString uniqueName() {
    static std::atomic<int> count{0};
    return QStringLiteral("tarovex-mutter-%1").arg(++count);
}

std::string errorText(const QDBusMessage& reply) {
    return (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
}

} // namespace

// The session is made here, not at the first key: a desktop without Mutter's service, or one
// that refuses, then fails the choice of the backend and leaves the next rule its turn, and the
// first value does not wait for the session.
MutterKeyOutput::MutterKeyOutput(Options options)
    : options_(std::move(options)), layout_(XkbLayout::fromNames(options_.layout)),
      connectionName_(uniqueName()) {
    const QDBusConnection bus = connect(options_.busAddress, connectionName_);
    if (!bus.isConnected()) {
        const std::string why = bus.lastError().message().toStdString();
        QDBusConnection::disconnectFromBus(connectionName_);
        throw std::runtime_error("Cannot connect to the session bus" + (why.empty() ? "" : ": " + why));
    }
    try {
        const QList<QVariant> created = call(servicePath, service, QStringLiteral("CreateSession"));
        if (created.isEmpty())
            throw std::runtime_error("GNOME's remote desktop gave no session");
        session_ = created.front().value<QDBusObjectPath>().path();
        call(session_, sessionInterface, QStringLiteral("Start"));
        // The first key of a new session gets lost otherwise.
        send({shiftKeysym});
    } catch (...) {
        if (!session_.isEmpty())
            bus.call(
                QDBusMessage::createMethodCall(service, session_, sessionInterface, QStringLiteral("Stop")),
                QDBus::Block, int(options_.timeout.count()));
        QDBusConnection::disconnectFromBus(connectionName_);
        throw;
    }
}

MutterKeyOutput::~MutterKeyOutput() {
    // Mutter also ends the session when our connection goes; Stop says so at once.
    QDBusConnection(connectionName_)
        .call(QDBusMessage::createMethodCall(service, session_, sessionInterface, QStringLiteral("Stop")),
              QDBus::Block, int(options_.timeout.count()));
    QDBusConnection::disconnectFromBus(connectionName_);
}

QList<QVariant> MutterKeyOutput::call(const QString& path, const QString& interface, const QString& method) {
    const QDBusMessage reply = QDBusConnection(connectionName_)
                                   .call(QDBusMessage::createMethodCall(service, path, interface, method),
                                         QDBus::Block, int(options_.timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw std::runtime_error("GNOME's remote desktop failed (" + method.toStdString() +
                                 "): " + errorText(reply));
    return reply.arguments();
}

void MutterKeyOutput::send(const std::vector<Keysym>& keysyms) {
    QDBusConnection bus(connectionName_);
    std::vector<QDBusPendingCall> pending;
    pending.reserve(keysyms.size() * 2);
    for (const Keysym keysym : keysyms)
        for (const bool pressed : {true, false}) {
            QDBusMessage message = QDBusMessage::createMethodCall(service, session_, sessionInterface,
                                                                  QStringLiteral("NotifyKeyboardKeysym"));
            message.setArguments({QVariant::fromValue(uint(keysym)), QVariant::fromValue(pressed)});
            pending.push_back(bus.asyncCall(message, int(options_.timeout.count())));
        }
    for (QDBusPendingCall& p : pending) {
        p.waitForFinished();
        if (p.isError())
            throw std::runtime_error("GNOME's remote desktop did not take the key: " + errorText(p.reply()));
    }
}

std::optional<std::string> MutterKeyOutput::cannotType(char32_t c) {
    std::string why;
    if (keysymPlan(layout_, TypedKey{c}, why).empty())
        return why;
    return std::nullopt;
}

void MutterKeyOutput::type(const TypedKey& key) {
    std::string why;
    const std::vector<Keysym> keysyms = keysymPlan(layout_, key, why);
    if (keysyms.empty())
        throw CannotTypeError(key.character(), why);
    send(keysyms);
}

void MutterKeyOutput::setLayout(const XkbRuleNames& names) {
    layout_ = XkbLayout::fromNames(names);
    options_.layout = names;
}

QString MutterKeyOutput::description() const {
    std::string layout = options_.layout.layout;
    if (!options_.layout.variant.empty())
        layout += "(" + options_.layout.variant + ")";
    return QStringLiteral("GNOME remote desktop (Mutter), layout %1").arg(QString::fromStdString(layout));
}

bool MutterKeyOutput::offeredOn(const std::string& busAddress) {
    const QString name = uniqueName();
    bool offered = false;
    {
        QDBusConnection bus = connect(busAddress, name);
        offered =
            bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value();
    }
    QDBusConnection::disconnectFromBus(name);
    return offered;
}

} // namespace tarovex::typing
