#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

namespace Tarolink {

// The system calls of the POSIX driver, one virtual per call, so tests can inject
// EINTR, EAGAIN, EIO and hang-ups. Each returns what the C call returns and sets errno.
// Retrying on EINTR is the driver's business, not this layer's.
class PosixSyscalls {
public:
    virtual ~PosixSyscalls() = default;

    virtual int open(const char* path, int flags);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void* buffer, size_t count);
    virtual ssize_t write(int fd, const void* buffer, size_t count);
    virtual int ioctl(int fd, unsigned long request, void* argument);
    virtual int tcgetattr(int fd, termios* t);
    virtual int tcsetattr(int fd, int action, const termios* t);
    virtual int tcflush(int fd, int queue);
    virtual int tcdrain(int fd);
    virtual int poll(pollfd* fds, nfds_t count, int timeoutMs);
    virtual int flock(int fd, int operation);
    virtual int stat(const char* path, struct stat* st);
    // A non-blocking, close-on-exec event counter used to wake a waiting reader.
    virtual int eventfd();

    // The process-wide real implementation.
    static PosixSyscalls& real();
};

} // namespace Tarolink
