#include "worker/RecordedStream.h"

#include "Tarolink/SerialExceptions.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarovex::worker {
namespace {

// Large reads: a recording is read as fast as the lines can be processed.
constexpr std::size_t kBufferBytes = 256 * 1024;

std::runtime_error openError(const QString& path, const char* why) {
    return std::runtime_error(QStringLiteral("The recording %1 could not be read: %2.")
                                  .arg(path, QString::fromLocal8Bit(why))
                                  .toStdString());
}

} // namespace

std::unique_ptr<RecordedStream> RecordedStream::open(const QString& path) {
    const bool standardInput = path == u"-";
    int fd = STDIN_FILENO;
    if (!standardInput) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            throw openError(path, std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        if (!standardInput)
            ::close(fd);
        throw openError(standardInput ? QStringLiteral("on standard input") : path, std::strerror(error));
    }
    return std::unique_ptr<RecordedStream>(new RecordedStream(
        fd, !standardInput, S_ISREG(st.st_mode), standardInput ? "standard input" : path.toStdString()));
}

RecordedStream::RecordedStream(int fd, bool ownsFd, bool alwaysReady, std::string name)
    : fd_(fd), ownsFd_(ownsFd), alwaysReady_(alwaysReady), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      name_(std::move(name)), buffer_(kBufferBytes) {}

RecordedStream::~RecordedStream() {
    close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void RecordedStream::close() {
    if (fd_ >= 0 && ownsFd_)
        ::close(fd_);
    fd_ = -1;
}

bool RecordedStream::fill() {
    if (fd_ < 0 || ended_)
        return false;
    if (!alwaysReady_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            return false;
    }
    ssize_t n;
    do {
        n = ::read(fd_, buffer_.data(), buffer_.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw Tarolink::PortIOException("getData failed", errno);
    next_ = 0;
    end_ = std::size_t(n);
    ended_ = n == 0;
    return n > 0;
}

int RecordedStream::read(std::span<std::uint8_t> buffer) {
    if (next_ == end_ && !fill())
        return 0;
    const std::size_t n = std::min(buffer.size(), end_ - next_);
    std::memcpy(buffer.data(), buffer_.data() + next_, n);
    next_ += n;
    return int(n);
}

ByteSource::Wait RecordedStream::waitForData(int timeoutMs) {
    if (fd_ < 0)
        throw Tarolink::PortIOException("waitForData: Port not open");
    if (next_ != end_)
        return Wait::DataReady;
    if (ended_)
        return Wait::Gone;
    pollfd p[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    const int n = ::poll(p, alwaysReady_ ? 1 : 2, alwaysReady_ ? 0 : timeoutMs);
    if (n > 0 && (p[0].revents & POLLIN)) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
        return Wait::WokenUp;
    }
    // A file always has data or its end; a pipe that hung up has its end to read.
    return alwaysReady_ || n > 0 ? Wait::DataReady : Wait::TimedOut;
}

void RecordedStream::wakeUp() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

} // namespace tarovex::worker
