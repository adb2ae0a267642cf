#pragma once

#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tarovex {

// One running program per user: the first one listens on a local socket in the user's
// runtime folder, a later one finds it there and hands it a request instead of starting.
// Requests are lines of text, "command arguments"; each is answered by one line. The socket
// is open to its owner only, and a connection from another user is refused by its
// credentials as well. A client that sends but does not read its answers is dropped once
// they pass a small bound. Display-free: the window adds its handlers.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,          // this process serves the requests from now on
        AlreadyRunning, // another process of this user does: send() reaches it
        Failed,         // neither; error() says why, and the program may go on alone
    };

    // `socketPath` empty: defaultSocketPath(); without a runtime folder claim() fails and
    // error() says why.
    explicit SingleInstance(QString socketPath = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket in the user's runtime folder ($XDG_RUNTIME_DIR), one per settings store;
    // empty when that folder is not set or does not exist.
    static QString defaultSocketPath();

    // Finds the running instance or becomes it. A socket left behind by a program that
    // crashed is taken over.
    Claim claim();
    // Sends one request line to the running instance and waits up to `timeoutMs` for its
    // answer line; nothing when it could not be reached (error() says why).
    std::optional<QString> send(const QString& request, int timeoutMs = 3000);
    // The answer to requests whose first word is `command`; it gets the rest of the line.
    void setHandler(const QString& command, std::function<QString(const QString& arguments)> handler);

    QString error() const { return error_; }
    QString socketPath() const { return path_; }

private:
    void accept();
    QString answer(const QString& line) const;

    QString path_;
    QString error_;
    QLocalServer server_;
    QHash<QString, std::function<QString(const QString&)>> handlers_;
};

// One window per user, at start-up: nothing when this process goes on (as the running
// instance, with `show` as its handler of "show"; or alone when none can be found, said on
// standard error); else the exit status after the running one was asked to show itself
// (said on standard output).
std::optional<int> startOrHandOver(SingleInstance& instance, std::function<QString(const QString&)> show);

// `tarovex --request [LABEL]`: asks the running instance of this user for a reading (of the
// instrument LABEL, else of every one); the exit status, 0 when it sent the request, 1 (said
// on standard error) otherwise.
int requestReading(SingleInstance& instance, const QString& label = {});

} // namespace tarovex
