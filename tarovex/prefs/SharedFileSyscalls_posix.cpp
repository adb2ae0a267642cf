#include "tarovex/prefs/SharedFileSyscalls.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarovex::prefs {

int SharedFileSyscalls::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
int SharedFileSyscalls::close(int fd) {
    return ::close(fd);
}
ssize_t SharedFileSyscalls::read(int fd, void* buffer, size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t SharedFileSyscalls::pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return ::pwrite(fd, buffer, count, offset);
}
int SharedFileSyscalls::ftruncate(int fd, off_t length) {
    return ::ftruncate(fd, length);
}
int SharedFileSyscalls::fsync(int fd) {
    return ::fsync(fd);
}
int SharedFileSyscalls::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int SharedFileSyscalls::stat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
int SharedFileSyscalls::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int SharedFileSyscalls::fchown(int fd, uid_t owner, gid_t group) {
    return ::fchown(fd, owner, group);
}
int SharedFileSyscalls::flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int SharedFileSyscalls::rename(const char* from, const char* to) {
    return std::rename(from, to);
}
int SharedFileSyscalls::unlink(const char* path) {
    return ::unlink(path);
}

SharedFileSyscalls& SharedFileSyscalls::real() {
    static SharedFileSyscalls instance;
    return instance;
}

} // namespace tarovex::prefs
