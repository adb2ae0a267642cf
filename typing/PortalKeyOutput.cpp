#include "typing/PortalKeyOutput.h"

#include "typing/KeysymPlan.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace tarovex::typing {
namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString servicePath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr unsigned keyboardDevice = 1;
constexpr unsigned persistUntilRevoked = 2;

QDBusConnection connect(const std::string& address, const QString& name) {
    return address.empty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                           : QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

QString uniqueName(const char* prefix) {
    static std::atomic<int> count{0};
    return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(++count);
}

std::string errorText(const QDBusMessage& reply) {
    return (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
}

} // namespace

// A request's Response signal, received on a thread of its own that runs Qt's event loop: the
// thread that makes the output (the keyboard thread) may run none, and running one there would
// deliver its other events in the middle of the constructor. That thread blocks on the condition
// variable instead until the slot has run or the user took too long.
class PortalResponse : public QObject {
    Q_OBJECT
public:
    // The response (0 granted, 1 cancelled, 2 failed) and the results; none on a timeout.
    std::optional<std::pair<uint, QVariantMap>> wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return answer_.has_value(); });
        return answer_;
    }

public slots:
    void onResponse(uint response, const QVariantMap& results) {
        const std::lock_guard lock(mutex_);
        answer_.emplace(response, results);
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::pair<uint, QVariantMap>> answer_;
};

// The session is made here, not at the first key: the user answers the dialog at Start, and a
// desktop without the portal, or a user who says no, leaves the next rule its turn.
PortalKeyOutput::PortalKeyOutput(Options options)
    : options_(std::move(options)), layout_(XkbLayout::fromNames(options_.layout)),
      connectionName_(uniqueName("tarovex-portal-")) {
    if (options_.tokenPath.empty())
        options_.tokenPath = defaultTokenPath();
    QDBusConnection bus = connect(options_.busAddress, connectionName_);
    if (!bus.isConnected()) {
        const std::string why = bus.lastError().message().toStdString();
        QDBusConnection::disconnectFromBus(connectionName_);
        throw std::runtime_error("Cannot connect to the session bus" + (why.empty() ? "" : ": " + why));
    }
    try {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, servicePath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get.setArguments({remoteDesktop, QStringLiteral("version")});
        // Long: the first call may start the portal.
        const QDBusMessage reply = bus.call(get, QDBus::Block, int(options_.dialogTimeout.count()));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            throw std::runtime_error("The desktop portal offers no remote desktop: " + errorText(reply));
        version_ = reply.arguments().front().value<QDBusVariant>().variant().toUInt();

        const QString sessionToken = uniqueName("tarovex");
        const QVariantMap created = request(
            QStringLiteral("CreateSession"),
            {QVariantMap{{QStringLiteral("session_handle_token"), sessionToken}}}, uniqueName("tarovex"));
        const QVariant handle = created.value(QStringLiteral("session_handle"));
        // A string in the documented interface, an object path in some portals.
        session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                       ? handle.value<QDBusObjectPath>().path()
                       : handle.toString();
        if (session_.isEmpty())
            throw std::runtime_error("The desktop portal gave no session");

        QVariantMap select{{QStringLiteral("types"), QVariant::fromValue(keyboardDevice)}};
        if (version_ >= 2) {
            select.insert(QStringLiteral("persist_mode"), QVariant::fromValue(persistUntilRevoked));
            if (const auto token = readToken(options_.tokenPath))
                select.insert(QStringLiteral("restore_token"), QString::fromStdString(*token));
        }
        request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session_)), select},
                uniqueName("tarovex"));
        const QVariantMap started =
            request(QStringLiteral("Start"),
                    {QVariant::fromValue(QDBusObjectPath(session_)), QString(), QVariantMap{}},
                    uniqueName("tarovex"));
        if (!(started.value(QStringLiteral("devices")).toUInt() & keyboardDevice))
            throw std::runtime_error("The desktop portal allowed no keyboard");
        // A token serves once: the next Start asks with the one this Start gave.
        const QString token = started.value(QStringLiteral("restore_token")).toString();
        if (version_ >= 2 && !token.isEmpty()) {
            try {
                writeToken(options_.tokenPath, token.toStdString());
            } catch (const std::exception& e) {
                warnings_.append(QStringLiteral("The desktop will ask again at the next Start: %1")
                                     .arg(QString::fromStdString(e.what())));
            }
        }
        if (version_ < 2)
            warnings_.append(QStringLiteral("The desktop portal asks for permission at each Start (its "
                                            "version %1 cannot remember it)")
                                 .arg(version_));
    } catch (...) {
        if (!session_.isEmpty())
            bus.call(QDBusMessage::createMethodCall(service, session_,
                                                    QStringLiteral("org.freedesktop.portal.Session"),
                                                    QStringLiteral("Close")),
                     QDBus::Block, int(options_.timeout.count()));
        QDBusConnection::disconnectFromBus(connectionName_);
        throw;
    }
}

PortalKeyOutput::~PortalKeyOutput() {
    QDBusConnection(connectionName_)
        .call(QDBusMessage::createMethodCall(service, session_,
                                             QStringLiteral("org.freedesktop.portal.Session"),
                                             QStringLiteral("Close")),
              QDBus::Block, int(options_.timeout.count()));
    QDBusConnection::disconnectFromBus(connectionName_);
}

QVariantMap PortalKeyOutput::request(const QString& method, const QList<QVariant>& arguments,
                                     const QString& token) {
    if (!QCoreApplication::instance())
        throw std::runtime_error(
            "The desktop portal answers through Qt's event loop, which this program lacks");
    QDBusConnection bus(connectionName_);
    // The portal names the request object after our connection and the token; we listen there
    // before calling, or a quick answer would come before we do.
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(bus.baseService().mid(1).replace(u'.', u'_'), token);
    QThread thread;
    PortalResponse response;
    response.moveToThread(&thread);
    thread.start();
    const auto stop = [&] {
        bus.disconnect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &response, SLOT(onResponse(uint, QVariantMap)));
        thread.quit();
        thread.wait();
    };
    if (!bus.connect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                     QStringLiteral("Response"), &response, SLOT(onResponse(uint, QVariantMap)))) {
        stop();
        throw std::runtime_error("Cannot listen for the desktop portal's answer: " +
                                 bus.lastError().message().toStdString());
    }
    QList<QVariant> args = arguments;
    QVariantMap options = args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    args.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(service, servicePath, remoteDesktop, method);
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, int(options_.timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        stop();
        throw std::runtime_error("The desktop portal failed (" + method.toStdString() +
                                 "): " + errorText(reply));
    }
    const auto answer = response.wait(options_.dialogTimeout);
    stop();
    if (!answer) {
        bus.call(QDBusMessage::createMethodCall(service, path,
                                                QStringLiteral("org.freedesktop.portal.Request"),
                                                QStringLiteral("Close")),
                 QDBus::Block, int(options_.timeout.count()));
        throw std::runtime_error("The desktop's dialog was not answered within " +
                                 std::to_string(options_.dialogTimeout.count() / 1000) + " s");
    }
    if (answer->first == 1)
        throw std::runtime_error("The desktop's dialog was cancelled: typing through the desktop portal was "
                                 "not allowed");
    if (answer->first != 0)
        throw std::runtime_error("The desktop portal failed (" + method.toStdString() +
                                 "): it ended the request");
    return answer->second;
}

// One call at a time, each answered before the next: the portal handles its calls on several
// threads, so calls sent together reach Mutter out of order (a Shift released before its key).
void PortalKeyOutput::send(const std::vector<Keysym>& keysyms) {
    QDBusConnection bus(connectionName_);
    for (const Keysym keysym : keysyms)
        for (const uint state : {1u, 0u}) {
            QDBusMessage message = QDBusMessage::createMethodCall(service, servicePath, remoteDesktop,
                                                                  QStringLiteral("NotifyKeyboardKeysym"));
            message.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap{},
                                  QVariant::fromValue(int(keysym)), QVariant::fromValue(state)});
            const QDBusMessage reply = bus.call(message, QDBus::Block, int(options_.timeout.count()));
            if (reply.type() != QDBusMessage::ReplyMessage)
                throw std::runtime_error("The desktop portal did not take the key: " + errorText(reply));
        }
}

std::optional<std::string> PortalKeyOutput::cannotType(char32_t c) {
    std::string why;
    if (keysymPlan(layout_, TypedKey{c}, why).empty())
        return why;
    return std::nullopt;
}

void PortalKeyOutput::type(const TypedKey& key) {
    std::string why;
    const std::vector<Keysym> keysyms = keysymPlan(layout_, key, why);
    if (keysyms.empty())
        throw CannotTypeError(key.character(), why);
    send(keysyms);
}

void PortalKeyOutput::setLayout(const XkbRuleNames& names) {
    layout_ = XkbLayout::fromNames(names);
    options_.layout = names;
}

QString PortalKeyOutput::description() const {
    std::string layout = options_.layout.layout;
    if (!options_.layout.variant.empty())
        layout += "(" + options_.layout.variant + ")";
    return QStringLiteral("desktop portal remote desktop (version %1), layout %2")
        .arg(version_)
        .arg(QString::fromStdString(layout));
}

bool PortalKeyOutput::offeredOn(const std::string& busAddress) {
    const QString name = uniqueName("tarovex-portal-probe-");
    bool offered = false;
    {
        QDBusConnection bus = connect(busAddress, name);
        // The portal is started on demand: activatable is as good as running.
        offered = bus.isConnected() && bus.interface() &&
                  (bus.interface()->isServiceRegistered(service).value() ||
                   bus.interface()->activatableServiceNames().value().contains(service));
    }
    QDBusConnection::disconnectFromBus(name);
    return offered;
}

std::string PortalKeyOutput::defaultTokenPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const std::filesystem::path folder = state && *state == '/'
                                             ? std::filesystem::path(state)
                                             : std::filesystem::path(home ? home : "") / ".local/state";
    return (folder / "tarovex" / "portal-restore-token").string();
}

std::optional<std::string> PortalKeyOutput::readToken(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string token;
    if (!std::getline(file, token) || token.empty() || token.size() > 256)
        return std::nullopt;
    for (const char c : token)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
            return std::nullopt;
    return token;
}

void PortalKeyOutput::writeToken(const std::string& path, const std::string& token) {
    const std::filesystem::path file(path);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    // Written aside and renamed: a crash leaves the old token or the new one, never half of one.
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("Cannot write " + temporary + ": " + std::strerror(errno));
    const std::string text = token + "\n";
    const bool written =
        ::fchmod(fd, 0600) == 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error("Cannot write " + path + ": " + why);
    }
}

} // namespace tarovex::typing

#include "PortalKeyOutput.moc"
