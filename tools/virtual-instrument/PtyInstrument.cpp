#include "PtyInstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

int stopPipe[2] = {-1, -1};
volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
    const char b = 1;
    [[maybe_unused]] auto n = ::write(stopPipe[1], &b, 1);
}

} // namespace

void PtyInstrument::installStopSignals() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

PtyInstrument::PtyInstrument() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    slavePath_ = ::ptsname(master_);
    // Holding the slave open keeps the master from seeing a hang-up while no program has
    // the port open, and lets us put the line in raw mode before anybody reads.
    slaveHold_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveHold_ >= 0) {
        termios t{};
        if (::tcgetattr(slaveHold_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slaveHold_, TCSANOW, &t);
        }
    }
}

PtyInstrument::~PtyInstrument() {
    if (!linkPath_.empty()) {
        struct stat st {};
        char target[4096];
        const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
        // Only remove the link if it is still ours.
        if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_ &&
            ::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(linkPath_.c_str());
    }
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    if (master_ >= 0)
        ::close(master_);
}

void PtyInstrument::link(const std::string& path) {
    if (::symlink(slavePath_.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot link " + path + ": " + std::strerror(errno));
    linkPath_ = path;
}

bool PtyInstrument::stopped() const {
    return stopRequested != 0;
}

void PtyInstrument::drainInput() {
    char buf[512];
    while (::read(master_, buf, sizeof buf) > 0) {
    }
}

bool PtyInstrument::waitFor(short events, int timeoutMs) {
    pollfd fds[2] = {{master_, static_cast<short>(events | POLLIN), 0}, {stopPipe[0], POLLIN, 0}};
    const int r = ::poll(fds, stopPipe[0] >= 0 ? 2 : 1, timeoutMs);
    if (r < 0 && errno != EINTR)
        throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    if (r > 0 && (fds[0].revents & POLLIN))
        drainInput();
    return r > 0 && (fds[0].revents & events);
}

bool PtyInstrument::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (stopped())
            return false;
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        // Full (the reader is slow or absent): wait for room, a bounded wait each round.
        waitFor(POLLOUT, 200);
    }
    return !stopped();
}

bool PtyInstrument::pause(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stopped())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return true;
        waitFor(0, static_cast<int>(left));
    }
}

bool PtyInstrument::waitUntilTaken() {
    if (slaveHold_ < 0)
        return pause(200);
    // The bytes wait in the slave's input queue, which our own slave descriptor can count.
    // Two empty looks in a row, as bytes may still be on their way into the queue.
    int emptyLooks = 0;
    while (emptyLooks < 2) {
        int waiting = 0;
        if (::ioctl(slaveHold_, FIONREAD, &waiting) != 0)
            return true;
        emptyLooks = waiting == 0 ? emptyLooks + 1 : 0;
        if (!pause(50))
            return false;
    }
    return true;
}
