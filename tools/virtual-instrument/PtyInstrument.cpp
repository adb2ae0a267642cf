#include "PtyInstrument.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <utility>

namespace {

int stopPipe[2] = {-1, -1};
volatile sig_atomic_t stopRequested = 0;

// A program usually sets the line up right after opening it, and some (our worker too)
// discard what arrived before; the first line waits this long after the port is opened.
constexpr int kSettleMs = 250;

void onStopSignal(int) {
    stopRequested = 1;
    const char b = 1;
    [[maybe_unused]] auto n = ::write(stopPipe[1], &b, 1);
}

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

void PtyInstrument::installStopSignals() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw systemError("pipe");
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

PtyInstrument::PtyInstrument() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw systemError("pseudo-terminal");
    slavePath_ = ::ptsname(master_);
    slaveHold_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveHold_ < 0)
        throw systemError("cannot open " + slavePath_);
    termios t{};
    if (::tcgetattr(slaveHold_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slaveHold_, TCSANOW, &t);
    }
    // Set up after our own open, so that every open seen is somebody else's.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        std::cerr << "tarovex-virtual-instrument: cannot watch " << slavePath_ << " (" << std::strerror(errno)
                  << "); sending without waiting for a reader\n";
        if (watch_ >= 0)
            ::close(watch_);
        watch_ = -1;
        readers_ = 1;
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
    if (watch_ >= 0)
        ::close(watch_);
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    if (master_ >= 0)
        ::close(master_);
}

void PtyInstrument::link(const std::string& path) {
    if (::symlink(slavePath_.c_str(), path.c_str()) != 0)
        throw systemError("cannot link " + path);
    linkPath_ = path;
}

bool PtyInstrument::stopped() const {
    return stopRequested != 0;
}

void PtyInstrument::drainInput() {
    char buf[512];
    for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;) {
        received_.append(buf, static_cast<std::size_t>(n));
        // Commands are short; a flood of other bytes keeps only its end.
        if (received_.size() > kReceivedKept)
            received_.erase(0, received_.size() - kReceivedKept);
    }
}

std::string PtyInstrument::takeReceived() {
    return std::exchange(received_, {});
}

void PtyInstrument::readOpenEvents() {
    if (watch_ < 0)
        return;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(watch_, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                // Events were lost: the count is unknown, so assume somebody is there.
                readers_ = readers_ > 0 ? readers_ : 1;
            } else if (e->mask & IN_OPEN) {
                ++readers_;
            } else if ((e->mask & IN_CLOSE) && readers_ > 0 && --readers_ == 0) {
                // Unread lines were meant for the reader that left; the next one starts afresh.
                ::tcflush(slaveHold_, TCIFLUSH);
                ++departures_;
            }
        }
    }
}

bool PtyInstrument::waitFor(short events, int timeoutMs) {
    pollfd fds[3] = {
        {master_, static_cast<short>(events | POLLIN), 0}, {watch_, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
    const int r = ::poll(fds, stopPipe[0] >= 0 ? 3 : 2, timeoutMs);
    if (r < 0 && errno != EINTR)
        throw systemError("poll");
    if (r > 0 && (fds[0].revents & POLLIN))
        drainInput();
    if (r > 0 && (fds[1].revents & POLLIN))
        readOpenEvents();
    return r > 0 && (fds[0].revents & events);
}

bool PtyInstrument::waitForReader() {
    readOpenEvents();
    if (readerPresent())
        return !stopped();
    while (!readerPresent()) {
        if (stopped())
            return false;
        waitFor(0, 1000);
    }
    return pause(kSettleMs);
}

bool PtyInstrument::write(const std::string& bytes) {
    for (;;) {
        if (!waitForReader())
            return false;
        if (!readerPresent())
            continue;
        const unsigned long departures = departures_;
        std::size_t done = 0;
        while (done < bytes.size() && departures_ == departures) {
            if (stopped())
                return false;
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                readOpenEvents();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                throw systemError("write");
            // Full (the reader is slow): wait for room, a bounded wait each round.
            waitFor(POLLOUT, 200);
        }
        if (departures_ == departures)
            return !stopped();
    }
}

bool PtyInstrument::pause(long long ms, bool untilReceived) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (stopped())
            return false;
        if (untilReceived && !received_.empty())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return true;
        waitFor(0, static_cast<int>(std::min<long long>(left, 1000)));
    }
}

bool PtyInstrument::waitUntilTaken() {
    // The bytes wait in the slave's input queue, which our own slave descriptor can count.
    // Two empty looks in a row, as bytes may still be on their way into the queue.
    int emptyLooks = 0;
    while (emptyLooks < 2) {
        readOpenEvents();
        if (!readerPresent())
            return !stopped();
        int waiting = 0;
        if (::ioctl(slaveHold_, FIONREAD, &waiting) != 0)
            return true;
        emptyLooks = waiting == 0 ? emptyLooks + 1 : 0;
        if (!pause(50))
            return false;
    }
    return true;
}
