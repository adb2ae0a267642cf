#include "tarovex/instance/SingleInstance.h"

#include "tarovex/instance/PeerUser.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <iostream>

namespace tarovex {

namespace {

// A line longer than this is no request of ours.
constexpr qint64 kMaxLineBytes = 4096;
// Answers waiting for a client that does not read them; beyond this it is dropped.
constexpr qint64 kMaxQueuedBytes = 64 * 1024;

// The user's runtime folder, or why there is none. Never the fallback Qt would make up: a
// socket elsewhere (or in "/" when Qt gives up) is not where the next program looks.
QString runtimeFolder(QString* problem) {
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        *problem = QStringLiteral("there is no runtime folder for the instance socket: XDG_RUNTIME_DIR is not set");
    else if (!QFileInfo(folder).isDir())
        *problem = QStringLiteral("the runtime folder %1 (XDG_RUNTIME_DIR) does not exist").arg(folder);
    else
        return folder;
    return {};
}

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(socketPath.isEmpty() ? defaultSocketPath() : std::move(socketPath)) {
    if (path_.isEmpty())
        runtimeFolder(&error_);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath() {
    // One per settings store: two programs on one store would undo each other's changes,
    // while programs with stores of their own (a test's temporary home) may run side by side.
    const QByteArray store = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toUtf8();
    const QByteArray tag = QCryptographicHash::hash(store, QCryptographicHash::Sha256).toHex().left(12);
    QString problem;
    const QString folder = runtimeFolder(&problem);
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/tarovex-") + QString::fromLatin1(tag) + QStringLiteral(".socket");
}

SingleInstance::Claim SingleInstance::claim() {
    if (path_.isEmpty())
        return Claim::Failed; // error_ says why since construction
    // Two programs started at once must not both take the socket over.
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(3000)) {
        error_ = QStringLiteral("%1.lock stays locked").arg(path_);
        return Claim::Failed;
    }
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(1000)) {
        if (peerIsThisUser(probe.socketDescriptor()))
            return Claim::AlreadyRunning;
        error_ = QStringLiteral("%1 belongs to another user").arg(path_);
        return Claim::Failed;
    }
    // Nobody listens: what is there was left by a program that ended without removing it.
    QLocalServer::removeServer(path_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(path_)) {
        error_ = QStringLiteral("%1 cannot be opened: %2").arg(path_, server_.errorString());
        return Claim::Failed;
    }
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
    return Claim::First;
}

std::optional<QString> SingleInstance::send(const QString& request, int timeoutMs) {
    if (path_.isEmpty())
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        error_ = socket.errorString();
        return std::nullopt;
    }
    if (!peerIsThisUser(socket.socketDescriptor())) {
        error_ = QStringLiteral("%1 belongs to another user").arg(path_);
        return std::nullopt;
    }
    QByteArray line = request.toUtf8();
    line.replace('\n', ' ');
    socket.write(line + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
            error_ = QStringLiteral("no answer to \"%1\": %2").arg(request, socket.errorString());
            return std::nullopt;
        }
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

void SingleInstance::setHandler(const QString& command, std::function<QString(const QString&)> handler) {
    handlers_.insert(command, std::move(handler));
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->bytesToWrite() > kMaxQueuedBytes) {
                    socket->abort(); // it sends without reading: answers would pile up without end
                    return;
                }
                QByteArray reply = answer(QString::fromUtf8(socket->readLine()).trimmed()).toUtf8();
                reply.replace('\n', ' ');
                socket->write(reply + '\n');
            }
            if (socket->bytesAvailable() > kMaxLineBytes)
                socket->abort();
        });
    }
}

QString SingleInstance::answer(const QString& line) const {
    const QString command = line.section(u' ', 0, 0);
    const auto handler = handlers_.constFind(command);
    if (handler == handlers_.constEnd())
        return QStringLiteral("unknown request: ") + command;
    return (*handler)(line.section(u' ', 1));
}

std::optional<int> startOrHandOver(SingleInstance& instance, std::function<QString(const QString&)> show) {
    switch (instance.claim()) {
    case SingleInstance::Claim::First:
        instance.setHandler(QStringLiteral("show"), std::move(show));
        return std::nullopt;
    case SingleInstance::Claim::Failed:
        std::cerr << "tarovex: a running Tarovex cannot be found: " << instance.error().toStdString() << '\n';
        return std::nullopt;
    case SingleInstance::Claim::AlreadyRunning:
        break;
    }
    const auto answer = instance.send(QStringLiteral("show"));
    if (answer == QStringLiteral("ok")) {
        std::cout << "Tarovex is already running; its window is brought to the front." << std::endl;
        return 0;
    }
    std::cout << "Tarovex is already running." << std::endl;
    std::cerr << "tarovex: its window cannot be brought to the front: "
              << (answer ? *answer : instance.error()).toStdString() << '\n';
    return answer ? 0 : 1;
}

int requestReading(SingleInstance& instance, const QString& label) {
    if (instance.claim() != SingleInstance::Claim::AlreadyRunning) {
        std::cerr << "tarovex: no running Tarovex of this user to ask for a reading\n";
        return 1;
    }
    // One line: a label cannot hold a line break, but an argument could.
    if (label.contains(u'\n') || label.contains(u'\r')) {
        std::cerr << "tarovex: an instrument's label has no line break\n";
        return 1;
    }
    const auto answer =
        instance.send(label.isEmpty() ? QStringLiteral("request") : QStringLiteral("request ") + label);
    if (answer == QStringLiteral("ok"))
        return 0;
    std::cerr << "tarovex: no reading was asked for: " << (answer ? *answer : instance.error()).toStdString()
              << '\n';
    return 1;
}

} // namespace tarovex
