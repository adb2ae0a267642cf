#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace tarovex::prefs {

// The system calls of the shared settings file, one virtual per call, so tests can see the
// order of writes, syncs and renames and inject failures. Each returns what the C call
// returns and sets errno; retrying on EINTR is the caller's business.
class SharedFileSyscalls {
public:
    virtual ~SharedFileSyscalls() = default;

    virtual int open(const char* path, int flags, mode_t mode);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void* buffer, size_t count);
    virtual ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset);
    virtual int ftruncate(int fd, off_t length);
    virtual int fsync(int fd);
    virtual int fstat(int fd, struct stat* st);
    virtual int stat(const char* path, struct stat* st);
    virtual int fchmod(int fd, mode_t mode);
    virtual int fchown(int fd, uid_t owner, gid_t group);
    virtual int flock(int fd, int operation);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);

    // The process-wide real implementation.
    static SharedFileSyscalls& real();
};

} // namespace tarovex::prefs
