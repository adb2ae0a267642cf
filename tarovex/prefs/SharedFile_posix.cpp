#include "tarovex/prefs/SharedFile.h"

#include "tarovex/prefs/FileTrust.h"
#include "tarovex/prefs/PreferencesErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tarovex::prefs {
namespace {

using Clock = std::chrono::steady_clock;

bool isRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// The one place where errno becomes one of our errors.
[[noreturn]] void throwErrno(const char* operation, const QString& path, int error) {
    const QString message =
        QStringLiteral("%1 %2: %3")
            .arg(QLatin1String(operation), path, QString::fromLocal8Bit(std::strerror(error)));
    if (isRefusal(error))
        throw PreferencesAccessException(message);
    throw BackingStoreException(message);
}

class Fd {
public:
    Fd(SharedFileSyscalls& sys, int fd) : m_sys(sys), m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_sys(other.m_sys), m_fd(other.release()) {}
    ~Fd() {
        if (m_fd >= 0)
            m_sys.close(m_fd); // never retried: the descriptor is gone either way
    }
    Fd& operator=(Fd&&) = delete;
    int get() const { return m_fd; }
    void reset(int fd) {
        if (m_fd >= 0)
            m_sys.close(m_fd);
        m_fd = fd;
    }
    int release() { return std::exchange(m_fd, -1); }

private:
    SharedFileSyscalls& m_sys;
    int m_fd;
};

int openRetrying(SharedFileSyscalls& sys, const QByteArray& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = sys.open(path.constData(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Takes the lock, polling so that a holder that never lets go (a stopped program) costs a
// bounded wait instead of a frozen caller.
void lockUntil(SharedFileSyscalls& sys, int fd, int operation, Clock::time_point deadline,
               std::chrono::milliseconds timeout, const QString& path) {
    for (;;) {
        if (sys.flock(fd, operation | LOCK_NB) == 0)
            return;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            throwErrno("lock", path, errno);
        const auto now = Clock::now();
        if (now >= deadline)
            throw PreferencesAccessException(
                QStringLiteral("%1 is locked by another program for more than %2 ms")
                    .arg(path)
                    .arg(timeout.count()));
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(10)));
    }
}

struct LockedFile {
    Fd fd;
    struct stat st;
    bool created;
};

// Opens the file and locks it. A writer that replaced the file while we waited leaves us a
// lock on the old inode, so then we open again. `folderMode` set: create a missing file.
// Non-blocking, so that a FIFO put in the file's place cannot hold up the open.
std::optional<LockedFile> openLocked(SharedFileSyscalls& sys, const QString& path, int flags, int operation,
                                     std::optional<mode_t> folderMode, std::chrono::milliseconds timeout,
                                     const std::optional<QString>& trustedGroup) {
    const QByteArray native = QFile::encodeName(path);
    const auto deadline = Clock::now() + timeout;
    flags |= O_NOFOLLOW | O_NONBLOCK;
    for (;;) {
        bool created = false;
        Fd fd(sys, openRetrying(sys, native, flags));
        if (fd.get() < 0 && errno == ENOENT) {
            if (!folderMode)
                return std::nullopt;
            // Never O_CREAT on an existing file: a sticky folder refuses that for other users' files.
            fd.reset(openRetrying(sys, native, flags | O_CREAT | O_EXCL, 0666));
            if (fd.get() < 0 && errno == EEXIST)
                continue;
            if (fd.get() < 0)
                throwErrno("create", path, errno);
            created = true;
            // A file every user may write is one no reader trusts.
            const mode_t shared = trustedGroup ? 0020 : 0022;
            struct stat fresh {};
            if (sys.fstat(fd.get(), &fresh) != 0 ||
                sys.fchmod(fd.get(), (fresh.st_mode & 07777) | (*folderMode & shared)) != 0)
                throwErrno("chmod", path, errno);
        } else if (fd.get() < 0 && errno == ELOOP) {
            throw UntrustedFileException(QStringLiteral("%1 is a symbolic link").arg(path));
        } else if (fd.get() < 0) {
            throwErrno("open", path, errno);
        }
        struct stat opened {};
        if (sys.fstat(fd.get(), &opened) != 0)
            throwErrno("stat", path, errno);
        if (!S_ISREG(opened.st_mode))
            throw UntrustedFileException(QStringLiteral("%1 is not a regular file").arg(path));
        if (trustedGroup && !created)
            if (const auto why = distrust(path, opened, ::geteuid(), *trustedGroup))
                throw UntrustedFileException(*why);
        lockUntil(sys, fd.get(), operation, deadline, timeout, path);
        struct stat held {
        }, current{};
        if (sys.fstat(fd.get(), &held) != 0)
            throwErrno("stat", path, errno);
        if (sys.stat(native.constData(), &current) != 0) {
            if (errno == ENOENT)
                continue;
            throwErrno("stat", path, errno);
        }
        // The lock does not keep the owner or mode from changing while we waited.
        if (trustedGroup && !created)
            if (const auto why = distrust(path, held, ::geteuid(), *trustedGroup))
                throw UntrustedFileException(*why);
        if (held.st_dev == current.st_dev && held.st_ino == current.st_ino)
            return LockedFile{std::move(fd), held, created};
    }
}

QByteArray readAll(SharedFileSyscalls& sys, int fd, const QString& path) {
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = sys.read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("read", path, errno);
        }
        if (n == 0)
            break;
        if (data.size() + n > SharedFile::maxSize)
            throw BackingStoreException(
                QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(SharedFile::maxSize));
        data.append(buffer, n);
    }
    return data;
}

void writeAll(SharedFileSyscalls& sys, int fd, const QByteArray& data, const QString& path) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = sys.pwrite(fd, data.constData() + done, size_t(data.size() - done), off_t(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("write", path, errno);
        }
        done += n;
    }
}

// Writes a temporary file and renames it over the file. Returns false, having changed
// nothing, when the system refuses a step that the rewrite in place does not need.
bool replace(SharedFileSyscalls& sys, const QString& path, const struct stat& old,
             const QByteArray& contents) {
    const QByteArray target = QFile::encodeName(path);
    // Only the lock holder writes the temporary file, so a leftover one is from a writer
    // that died; a fixed name means such leftovers never pile up.
    const QString tempPath = path + QStringLiteral(".tmp");
    const QByteArray temp = QFile::encodeName(tempPath);
    if (sys.unlink(temp.constData()) != 0 && errno != ENOENT) {
        if (isRefusal(errno))
            return false;
        throwErrno("remove", tempPath, errno);
    }
    Fd fd(sys, openRetrying(sys, temp, O_WRONLY | O_CREAT | O_EXCL, 0600));
    if (fd.get() < 0) {
        if (isRefusal(errno))
            return false;
        throwErrno("create", tempPath, errno);
    }
    try {
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            sys.fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
            if (!isRefusal(errno))
                throwErrno("chown", tempPath, errno);
            sys.unlink(temp.constData());
            return false;
        }
        if (sys.fchmod(fd.get(), old.st_mode & 07777) != 0)
            throwErrno("chmod", tempPath, errno);
        writeAll(sys, fd.get(), contents, tempPath);
        if (sys.fsync(fd.get()) != 0)
            throwErrno("sync", tempPath, errno);
        if (sys.close(fd.release()) != 0)
            throwErrno("close", tempPath, errno);
        if (sys.rename(temp.constData(), target.constData()) != 0) {
            if (!isRefusal(errno))
                throwErrno("rename", tempPath, errno);
            sys.unlink(temp.constData());
            return false;
        }
    } catch (...) {
        sys.unlink(temp.constData());
        throw;
    }
    // Make the rename itself durable.
    const QString dir = QFileInfo(path).absolutePath();
    const Fd dirFd(sys, openRetrying(sys, QFile::encodeName(dir), O_RDONLY | O_DIRECTORY));
    if (dirFd.get() < 0)
        throwErrno("open", dir, errno);
    if (sys.fsync(dirFd.get()) != 0 && errno != EINVAL)
        throwErrno("sync", dir, errno);
    return true;
}

void rewriteInPlace(SharedFileSyscalls& sys, int fd, const QString& path, const QByteArray& contents) {
    writeAll(sys, fd, contents, path);
    if (sys.ftruncate(fd, off_t(contents.size())) != 0)
        throwErrno("truncate", path, errno);
    if (sys.fsync(fd) != 0)
        throwErrno("sync", path, errno);
}

} // namespace

std::optional<QByteArray> SharedFile::read() const {
    std::optional<LockedFile> file =
        openLocked(m_sys, m_path, O_RDONLY, LOCK_SH, std::nullopt, m_lockTimeout, m_trustedGroup);
    if (!file)
        return std::nullopt;
    return readAll(m_sys, file->fd.get(), m_path);
}

void SharedFile::update(const std::function<QByteArray(const std::optional<QByteArray>&)>& change) {
    try {
        updateLocked(change);
    } catch (const PreferencesAccessException& e) {
        // A refusal on the shared file mostly means a user outside the writers' group.
        if (!m_trustedGroup)
            throw;
        const std::optional<QString> why = notAWriter(*m_trustedGroup);
        if (!why)
            throw;
        throw PreferencesAccessException(QString::fromStdString(e.what()) + QStringLiteral(". ") + *why);
    }
}

void SharedFile::updateLocked(const std::function<QByteArray(const std::optional<QByteArray>&)>& change) {
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(dir))
        throwErrno("create folder", dir, errno != 0 ? errno : EIO);
    struct stat folder {};
    if (m_sys.stat(QFile::encodeName(dir).constData(), &folder) != 0)
        throwErrno("stat", dir, errno);

    // Opening for writing also keeps a read-only file unchanged, though a rename could replace it.
    LockedFile file = *openLocked(m_sys, m_path, O_RDWR, LOCK_EX, folder.st_mode, m_lockTimeout, m_trustedGroup);
    // Read under the lock even when we made the file: another user may have opened it and
    // saved between our creating it and our taking the lock.
    std::optional<QByteArray> current = readAll(m_sys, file.fd.get(), m_path);
    if (file.created && current->isEmpty())
        current.reset();
    const QByteArray contents = change(current);

    // Replacing another user's file would hand it to us; root may keep its owner.
    const bool mayReplace = file.st.st_uid == ::geteuid() || ::geteuid() == 0;
    if (mayReplace && replace(m_sys, m_path, file.st, contents))
        return;
    rewriteInPlace(m_sys, file.fd.get(), m_path, contents);
}

} // namespace tarovex::prefs
