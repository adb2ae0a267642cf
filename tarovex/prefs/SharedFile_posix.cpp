#include "tarovex/prefs/SharedFile.h"

#include "tarovex/prefs/PreferencesErrors.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarovex::prefs {
namespace {

// The one place where errno becomes one of our errors.
[[noreturn]] void throwErrno(const char* operation, const QString& path, int error) {
    const QString message =
        QStringLiteral("%1 %2: %3")
            .arg(QLatin1String(operation), path, QString::fromLocal8Bit(std::strerror(error)));
    if (error == EACCES || error == EPERM || error == EROFS)
        throw PreferencesAccessException(message);
    throw BackingStoreException(message);
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd); // never retried: the descriptor is gone either way
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

int openRetrying(const QByteArray& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::optional<QByteArray> readAll(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    Fd fd(openRetrying(native, O_RDONLY));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throwErrno("open", path, errno);
    }
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
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

void writeAll(int fd, const QByteArray& data, const QString& path) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("write", path, errno);
        }
        done += n;
    }
}

// Holds an exclusive flock on the lock file while it lives.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const QString& lockPath) : m_fd(-1) {
        const QByteArray native = QFile::encodeName(lockPath);
        int fd = openRetrying(native, O_RDWR | O_CREAT, 0666);
        if (fd < 0 && errno == EACCES) {
            fd = openRetrying(native, O_RDONLY); // another user's lock file: flock works read-only too
            if (fd < 0 && errno == ENOENT)
                errno = EACCES; // no lock file and no right to create one
        }
        if (fd < 0)
            throwErrno("open", lockPath, errno);
        m_fd = Fd(fd).release();
        int rc;
        do {
            rc = ::flock(m_fd, LOCK_EX);
        } while (rc < 0 && errno == EINTR);
        if (rc < 0) {
            const int error = errno;
            ::close(m_fd);
            throwErrno("lock", lockPath, error);
        }
    }
    ~ExclusiveLock() { ::close(m_fd); } // closing releases the lock
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    int m_fd;
};

} // namespace

std::optional<QByteArray> SharedFile::read() const {
    return readAll(m_path);
}

void SharedFile::update(const std::function<QByteArray(const std::optional<QByteArray>&)>& change) {
    const QFileInfo info(m_path);
    const QString dir = info.absolutePath();
    if (!QDir().mkpath(dir))
        throwErrno("create folder", dir, errno != 0 ? errno : EIO);

    const ExclusiveLock lock(m_path + QStringLiteral(".lock"));
    const QByteArray target = QFile::encodeName(m_path);

    // A rename needs only folder rights; keep honouring a file its owner made read-only.
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && ::access(target.constData(), W_OK) != 0)
        throwErrno("write", m_path, errno);

    const QByteArray contents = change(readAll(m_path));

    // Only the lock holder writes the temporary file, so a leftover one is from a writer
    // that died; a fixed name means such leftovers never pile up.
    const QString tempPath = m_path + QStringLiteral(".tmp");
    const QByteArray temp = QFile::encodeName(tempPath);
    if (::unlink(temp.constData()) != 0 && errno != ENOENT)
        throwErrno("remove", tempPath, errno);
    Fd fd(openRetrying(temp, O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (fd.get() < 0)
        throwErrno("create", tempPath, errno);
    try {
        writeAll(fd.get(), contents, tempPath);
        if (exists && ::fchmod(fd.get(), old.st_mode & 07777) != 0)
            throwErrno("chmod", tempPath, errno);
        if (::fsync(fd.get()) != 0)
            throwErrno("sync", tempPath, errno);
        if (::close(fd.release()) != 0)
            throwErrno("close", tempPath, errno);
        if (::rename(temp.constData(), target.constData()) != 0)
            throwErrno("rename", tempPath, errno);
    } catch (...) {
        ::unlink(temp.constData());
        throw;
    }
    // Make the rename itself durable.
    Fd dirFd(openRetrying(QFile::encodeName(dir), O_RDONLY | O_DIRECTORY));
    if (dirFd.get() >= 0)
        ::fsync(dirFd.get());
}

} // namespace tarovex::prefs
