#include "Tarolink/PosixSyscalls.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Tarolink {

int PosixSyscalls::open(const char* path, int flags) {
    return ::open(path, flags);
}
int PosixSyscalls::close(int fd) {
    return ::close(fd);
}
ssize_t PosixSyscalls::read(int fd, void* buffer, size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t PosixSyscalls::write(int fd, const void* buffer, size_t count) {
    return ::write(fd, buffer, count);
}
int PosixSyscalls::ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}
int PosixSyscalls::tcgetattr(int fd, termios* t) {
    return ::tcgetattr(fd, t);
}
int PosixSyscalls::tcsetattr(int fd, int action, const termios* t) {
    return ::tcsetattr(fd, action, t);
}
int PosixSyscalls::tcflush(int fd, int queue) {
    return ::tcflush(fd, queue);
}
int PosixSyscalls::tcdrain(int fd) {
    return ::tcdrain(fd);
}
int PosixSyscalls::poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
int PosixSyscalls::flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int PosixSyscalls::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int PosixSyscalls::eventfd() {
    return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

PosixSyscalls& PosixSyscalls::real() {
    static PosixSyscalls instance;
    return instance;
}

} // namespace Tarolink
