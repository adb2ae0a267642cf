// One program per user: two instances on a real local socket, a crashed one's socket, and
// another user knocking.
#include "tarovex/instance/SingleInstance.h"
#include "tests/worker/WorkerTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

using tarovex::SingleInstance;
using Claim = SingleInstance::Claim;

namespace {

// A later program: claims and sends its requests from a thread of its own, while the
// test's thread runs the first one's event loop.
struct LaterProgram {
    Claim claim = Claim::Failed;
    QStringList answers;
};

LaterProgram runLater(const QString& path, const QStringList& requests) {
    LaterProgram later;
    std::atomic<bool> done = false;
    std::thread thread([&] {
        SingleInstance second(path);
        later.claim = second.claim();
        for (const QString& r : requests)
            later.answers << second.send(r).value_or(QStringLiteral("(none: %1)").arg(second.error()));
        done = true;
    });
    EXPECT_TRUE(worker_test::runUntil([&] { return done.load(); }));
    thread.join();
    return later;
}

sockaddr_un address(const QString& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.toLocal8Bit().constData(), sizeof a.sun_path - 1);
    return a;
}

// Connects as nobody and asks to be shown: 0 when the connection was refused, 1 when it
// was closed without an answer, 2 when an answer came.
int knockAsNobody(const QString& path) {
    const sockaddr_un a = address(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(9);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
            ::_exit(errno == EACCES ? 0 : 8);
        [[maybe_unused]] auto n = ::send(fd, "show\n", 5, MSG_NOSIGNAL); // it may be closed already
        char c;
        ::_exit(::read(fd, &c, 1) > 0 ? 2 : 1);
    }
    int status = -1;
    worker_test::runUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SingleInstance, ALaterProgramFindsTheFirstAndItsRequestsAreAnswered) {
    worker_test::application();
    QTemporaryDir dir;
    const QString path = dir.filePath("tarovex.socket");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Claim::First) << first.error().toStdString();
    int shown = 0;
    first.setHandler("show", [&](const QString&) {
        ++shown;
        return QStringLiteral("ok");
    });
    struct stat st {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const LaterProgram later = runLater(path, {"show", "frobnicate now"});
    EXPECT_EQ(later.claim, Claim::AlreadyRunning);
    EXPECT_EQ(later.answers, QStringList({"ok", "unknown request: frobnicate"}));
    EXPECT_EQ(shown, 1);
}

TEST(SingleInstance, TheSocketOfAProgramThatCrashedIsTakenOver) {
    worker_test::application();
    QTemporaryDir dir;
    const QString path = dir.filePath("tarovex.socket");
    const sockaddr_un a = address(path);
    const int left = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(left, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    ::close(left); // the file stays, nobody listens

    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Claim::First) << first.error().toStdString();
    EXPECT_EQ(runLater(path, {}).claim, Claim::AlreadyRunning);
}

// The socket's mode keeps another user out; were it opened to everybody, the credentials
// of the connection still would.
TEST(SingleInstance, AnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to knock as nobody";
    worker_test::application();
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    const QString path = dir.filePath("tarovex.socket");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Claim::First);
    int shown = 0;
    first.setHandler("show", [&](const QString&) {
        ++shown;
        return QStringLiteral("ok");
    });
    EXPECT_EQ(knockAsNobody(path), 0);
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), 0666), 0);
    EXPECT_EQ(knockAsNobody(path), 1);
    EXPECT_EQ(shown, 0);
}

// A client that sends requests without ever reading the answers is dropped before they pile
// up in the running program.
TEST(SingleInstance, AClientThatNeverReadsIsDropped) {
    worker_test::application();
    QTemporaryDir dir;
    const QString path = dir.filePath("tarovex.socket");
    SingleInstance first(path);
    ASSERT_EQ(first.claim(), Claim::First) << first.error().toStdString();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int small = 4096;
    ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    const sockaddr_un a = address(path);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    const QByteArray requests = QByteArray("x\n").repeated(2048);
    const qint64 enough = 16 * 1024 * 1024; // ten times more answers than it may keep
    qint64 sent = 0;
    bool dropped = false;
    worker_test::runUntil([&] {
        const ssize_t n = ::send(fd, requests.constData(), size_t(requests.size()), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        dropped = n < 0 && (errno == EPIPE || errno == ECONNRESET);
        return dropped || sent > enough;
    });
    ::close(fd);
    EXPECT_TRUE(dropped) << sent << " bytes of requests were taken";
}

// Without a runtime folder there is no socket to share, and the reason is said.
TEST(SingleInstance, WithoutARuntimeFolderNoSocketIsMade) {
    worker_test::application();
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    struct Row {
        std::optional<QByteArray> runtime;
        const char* error;
    } const rows[] = {
        {std::nullopt, "XDG_RUNTIME_DIR is not set"},
        {QFile::encodeName(dir.filePath("gone")), "does not exist"},
    };
    for (const Row& r : rows) {
        if (r.runtime)
            qputenv("XDG_RUNTIME_DIR", *r.runtime);
        else
            qunsetenv("XDG_RUNTIME_DIR");
        SingleInstance instance;
        EXPECT_EQ(instance.claim(), Claim::Failed) << r.error;
        EXPECT_TRUE(instance.error().contains(r.error)) << instance.error().toStdString();
        EXPECT_EQ(instance.socketPath(), "");
        EXPECT_EQ(QDir("/").entryList({"tarovex-*"}, QDir::System | QDir::Files), QStringList()) << r.error;
    }
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}
