#include "Tarolink/PosixSerialDriver.h"

#include "Tarolink/ParityMarkDecoder.h"
#include "Tarolink/PortDiscovery.h"
#include "Tarolink/PosixSyscalls.h"
#include "Tarolink/PosixTermios.h"
#include "Tarolink/SerialConfig.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace Tarolink {

namespace {

enum ErrorKind : std::uint8_t { NoError = 0, ParityError = 1, FrameError = 2, BreakSeen = 3 };

struct Entry {
    std::uint8_t value;
    std::uint8_t error;
};

constexpr int kReadBlock = 4096;

// Retries a call that failed only because a signal arrived. Never used for close().
template <typename F> auto retryOnEintr(F&& call) {
    for (;;) {
        auto r = call();
        if (!(r < 0 && errno == EINTR))
            return r;
    }
}

bool refusedByPty(int err) {
    return err == ENOTTY || err == EINVAL;
}

bool hangUpErrno(int err) {
    return err == EIO || err == ENODEV || err == ENXIO;
}

// The errno behind this thread's last failed driver call (SerGetLastError); every call
// clears it first.
thread_local int tLastSystemError = 0;

// The open/configure code for `err`, noted as the reason of the failure.
int openFailure(int err) {
    tLastSystemError = err;
    return PosixSerialDriver::codeForErrno(err);
}

// Notes errno as the reason of the failure `result` is about to report.
int systemFailure(int result) {
    tLastSystemError = errno;
    return result;
}

} // namespace

// Everything the driver keeps for one open port.
struct PosixPort {
    PosixSyscalls* sys = nullptr;
    int fd = -1;
    int wakeFd = -1;
    std::string path;
    dev_t device = 0;
    termios original{};
    bool haveOriginal = false;

    std::mutex mutex; // guards everything below
    std::vector<Entry> rx;
    std::size_t head = 0;
    std::vector<ReceivedByte> scratch;
    ParityMarkDecoder decoder;
    std::uint8_t lastError = NoError;
    bool parityEnabled = false;

    // Modem lines a pseudo-terminal refuses are kept here.
    bool softModem = false;
    int softBits = 0;

    int timeoutRx = 0;
    int timeoutTx = 0;

    // Error counters of the UART (TIOCGICOUNT) where the driver keeps them.
    bool haveCounters = false;
    serial_icounter_struct counters{};
    int pendingBreaks = 0;
    int pendingFrames = 0;
    int pendingParity = 0;
    int overrunSeen = 0;    // counters.overrun at the last SerSigOverrun
    int bufOverrunSeen = 0; // counters.buf_overrun at the last SerRxOverflow

    std::atomic<bool> gone{false};

    std::size_t buffered() const { return rx.size() - head; }

    ~PosixPort() {
        // A waiting thread may still hold the port after SerClosePort; the last one out closes.
        if (fd >= 0)
            sys->close(fd);
        if (wakeFd >= 0)
            sys->close(wakeFd);
    }

    bool readCounters(serial_icounter_struct& c) {
        return retryOnEintr([&] { return sys->ioctl(fd, TIOCGICOUNT, &c); }) == 0;
    }

    // Takes the counters' growth since the last look as errors still to be matched to marks.
    void collectCounters() {
        serial_icounter_struct now{};
        if (!haveCounters || !readCounters(now))
            return;
        pendingBreaks += now.brk - counters.brk;
        pendingFrames += now.frame - counters.frame;
        pendingParity += now.parity - counters.parity;
        counters.brk = now.brk;
        counters.frame = now.frame;
        counters.parity = now.parity;
        counters.overrun = now.overrun;
        counters.buf_overrun = now.buf_overrun;
    }

    std::uint8_t classify(const ReceivedByte& b) {
        if (b.mark == ReceivedByte::Mark::None)
            return NoError;
        if (b.mark == ReceivedByte::Mark::ZeroError && pendingBreaks > 0) {
            --pendingBreaks;
            return BreakSeen;
        }
        if (pendingParity > 0 && (parityEnabled || pendingFrames == 0)) {
            --pendingParity;
            return ParityError;
        }
        if (pendingFrames > 0) {
            --pendingFrames;
            return FrameError;
        }
        // No counters to tell: with parity on, a marked byte is most likely a parity error;
        // without parity only framing errors (and breaks, which are framing errors too) mark.
        return (parityEnabled && b.mark == ReceivedByte::Mark::Error) ? ParityError : FrameError;
    }

    void flushBuffer() {
        rx.clear();
        head = 0;
        decoder.reset();
        lastError = NoError;
    }
};

PosixSerialDriver::PosixSerialDriver(PosixSyscalls& sys) : sys_(sys) {}

PosixSerialDriver::PosixSerialDriver() : sys_(PosixSyscalls::real()) {}

PosixSerialDriver::~PosixSerialDriver() {
    monitor_.stop();
    std::lock_guard lock(mutex_);
    for (auto& [n, p] : ports_) {
        if (p->haveOriginal)
            sys_.tcsetattr(p->fd, TCSANOW, &p->original);
    }
    ports_.clear();
}

int PosixSerialDriver::codeForErrno(int err) {
    switch (err) {
    case 0:
        return OK;
    case EWOULDBLOCK: // the advisory lock is held
    case EBUSY:       // another program opened it with TIOCEXCL
        return IN_USE;
    case ENOTTY:
    case EINVAL:
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return NOT_VALID;
    case ENOENT:
        return NO_SUCH_FILE;
    case EACCES:
    case EPERM:
    case EROFS:
        return PERMISSION;
    case ENOLCK:
    case ETXTBSY:
    case EINTR:
        return BUSY;
    case ENODEV:
    case ENXIO:
        return NO_DEVICE;
    default:
        return OTHER_ERROR;
    }
}

std::shared_ptr<PosixPort> PosixSerialDriver::find(int port) const {
    std::lock_guard lock(mutex_);
    const auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second;
}

template <typename Body> int PosixSerialDriver::withPort(int port, Body&& body, int notOpen) const {
    tLastSystemError = 0;
    const std::shared_ptr<PosixPort> p = find(port);
    return p ? body(*p) : notOpen;
}

int PosixSerialDriver::SerGetLastError() {
    return tLastSystemError;
}

std::string PosixSerialDriver::devicePath(int port) const {
    auto p = find(port);
    return p ? p->path : std::string();
}

std::size_t PosixSerialDriver::rxBufferEntries(int port) const {
    auto p = find(port);
    if (!p)
        return 0;
    std::lock_guard lock(p->mutex);
    return p->rx.size();
}

int PosixSerialDriver::SerOpenPort(SerialConfig& config) {
    tLastSystemError = 0;
    const std::string rawName = config.getPortNameString();
    const bool byName = !rawName.empty() && rawName[0] != '\0';
    std::string path;
    if (byName) {
        path = rawName;
    } else {
        if (config.getPort() <= 0)
            return NOT_VALID;
        std::string base = config.getBaseName();
        base = base.substr(0, base.find('\0'));
        path = base + std::to_string(config.getPort() - 1);
    }

    struct stat st {};
    if (retryOnEintr([&] { return sys_.stat(path.c_str(), &st); }) != 0)
        return openFailure(errno);
    if (!S_ISCHR(st.st_mode))
        return NOT_VALID;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [n, p] : ports_)
            if (p->device == st.st_rdev)
                return ALREADY_OPEN;
    }

    auto p = std::make_shared<PosixPort>();
    p->sys = &sys_;
    p->path = path;
    p->device = st.st_rdev;
    p->fd = retryOnEintr([&] { return sys_.open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (p->fd < 0)
        return openFailure(errno);

    bool exclusive = false;
    auto fail = [&](int err) {
        const int code = openFailure(err);
        if (exclusive)
            sys_.ioctl(p->fd, TIOCNXCL, nullptr);
        sys_.close(p->fd);
        p->fd = -1;
        return code;
    };
    // The advisory lock first: it also stops root, which TIOCEXCL does not, and a held
    // port must not get its exclusive flag or settings touched by us.
    if (retryOnEintr([&] { return sys_.flock(p->fd, LOCK_EX | LOCK_NB); }) != 0)
        return fail(errno);
    if (retryOnEintr([&] { return sys_.tcgetattr(p->fd, &p->original); }) != 0)
        return fail(errno);
    p->haveOriginal = true;
    if (retryOnEintr([&] { return sys_.ioctl(p->fd, TIOCEXCL, nullptr); }) == 0)
        exclusive = true;
    else if (!refusedByPty(errno))
        return fail(errno);
    p->wakeFd = sys_.eventfd();
    if (p->wakeFd < 0)
        return fail(errno);
    p->haveCounters = p->readCounters(p->counters);
    p->overrunSeen = p->counters.overrun;
    p->bufOverrunSeen = p->counters.buf_overrun;
    p->rx.reserve(kReadBlock * 2);

    std::lock_guard lock(mutex_);
    int number = byName ? 0 : config.getPort() - 1;
    if (byName) {
        while (ports_.count(number))
            ++number;
    } else if (ports_.count(number)) {
        fail(EBUSY);
        tLastSystemError = 0; // taken by this process, not refused by the system
        return ALREADY_OPEN;
    }
    ports_[number] = p;
    config.setPortNum(number + 1);
    return OK;
}

int PosixSerialDriver::SerConfigure(const SerialConfig& config) {
    return withPort(config.getPort() - 1, [&](PosixPort& p) {
        termios t{};
        if (retryOnEintr([&] { return sys_.tcgetattr(p.fd, &t); }) != 0)
            return openFailure(errno);
        if (!posix_termios::apply(t, config))
            return codeForErrno(EINVAL); // a rate without a speed: no system call failed
        if (retryOnEintr([&] { return sys_.tcsetattr(p.fd, TCSANOW, &t); }) != 0)
            return openFailure(errno);
        std::lock_guard lock(p.mutex);
        p.parityEnabled = config.getParity() != SerialConfig::PY_NONE;
        return OK;
    });
}

int PosixSerialDriver::SerClosePort(int port) {
    tLastSystemError = 0;
    std::shared_ptr<PosixPort> p;
    {
        std::lock_guard lock(mutex_);
        const auto it = ports_.find(port);
        if (it == ports_.end())
            return -1;
        p = it->second;
        ports_.erase(it);
    }
    // Release anyone waiting on the port before it goes.
    const std::uint64_t one = 1;
    [[maybe_unused]] auto w = sys_.write(p->wakeFd, &one, sizeof one);
    // Output still queued behind a handshake the device no longer answers would make the
    // kernel's close wait up to 30 s, under the port lock: nothing we send must outlive
    // the port, so it is discarded.
    if (!p->gone)
        retryOnEintr([&] { return sys_.tcflush(p->fd, TCOFLUSH); });
    if (p->haveOriginal && !p->gone)
        retryOnEintr([&] { return sys_.tcsetattr(p->fd, TCSANOW, &p->original); });
    sys_.ioctl(p->fd, TIOCNXCL, nullptr);
    if (p.use_count() > 1)
        return OK; // the last waiter closes the descriptors
    // close() is never retried: the descriptor is gone whatever it reports.
    const int r = sys_.close(p->fd);
    p->fd = -1;
    return r == 0 ? OK : systemFailure(-1);
}

int PosixSerialDriver::fill(PosixPort& p) {
    std::uint8_t raw[kReadBlock];
    const ssize_t n = retryOnEintr([&] { return sys_.read(p.fd, raw, sizeof raw); });
    if (n < 0) {
        if (errno == EAGAIN)
            return 0;
        // EIO/ENODEV: unplugged or hung up. Anything else leaves the port just as useless,
        // and a reader that went on polling it would never learn why.
        p.gone = true;
        return systemFailure(-1);
    }
    if (n == 0)
        return 0;
    // Drop what was taken before appending: a reader that takes a few bytes at a time
    // (getData with a small count) rarely empties the buffer, which would otherwise grow
    // by a block on every read.
    if (p.head > 0) {
        p.rx.erase(p.rx.begin(), p.rx.begin() + static_cast<std::ptrdiff_t>(p.head));
        p.head = 0;
    }
    p.scratch.clear();
    p.decoder.decode(raw, static_cast<std::size_t>(n), p.scratch);
    bool marked = false;
    for (const auto& b : p.scratch)
        marked = marked || b.mark != ReceivedByte::Mark::None;
    if (marked)
        p.collectCounters();
    for (const auto& b : p.scratch)
        p.rx.push_back({b.value, p.classify(b)});
    return static_cast<int>(p.scratch.size());
}

int PosixSerialDriver::SerGetByte(int port) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        if (p.buffered() == 0 && fill(p) <= 0)
            return -1;
        if (p.buffered() == 0)
            return -1;
        const Entry e = p.rx[p.head++];
        p.lastError = e.error;
        return int{e.value};
    });
}

int PosixSerialDriver::SerGetData(int port, std::uint8_t* buffer, int count) {
    return withPort(port, [&](PosixPort& p) {
        if (count < 0)
            return -1;
        std::lock_guard lock(p.mutex);
        if (count == 0)
            return 0;
        if (p.buffered() < static_cast<std::size_t>(count) && fill(p) < 0 && p.buffered() == 0)
            return -1;
        int taken = 0;
        while (taken < count && p.buffered() > 0) {
            const Entry e = p.rx[p.head++];
            buffer[taken++] = e.value;
            p.lastError = e.error;
        }
        return taken;
    });
}

int PosixSerialDriver::SerPutData(int port, const std::uint8_t* buffer, int count) {
    return withPort(port, [&](PosixPort& p) {
        if (count < 0)
            return -1;
        int sent = 0;
        while (sent < count) {
            const ssize_t n = sys_.write(p.fd, buffer + sent, static_cast<size_t>(count - sent));
            if (n > 0) {
                sent += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                // The output queue is full: wait for room as long as the transmit time-out allows.
                tLastSystemError = EAGAIN;
                const int waitMs = p.timeoutTx / 100;
                if (waitMs <= 0)
                    break;
                pollfd pfd{p.fd, POLLOUT, 0};
                const int r = retryOnEintr([&] { return sys_.poll(&pfd, 1, waitMs); });
                if (r < 0)
                    systemFailure(0);
                if (r <= 0)
                    break;
                if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                    p.gone = true;
                    break;
                }
                continue;
            }
            if (n < 0) {
                systemFailure(0);
                if (hangUpErrno(errno))
                    p.gone = true;
            }
            return sent > 0 ? sent : -1;
        }
        if (sent == count)
            tLastSystemError = 0; // a full queue that made room again is no failure
        return sent;
    });
}

int PosixSerialDriver::SerPutByte(int port, std::uint8_t byte) {
    return SerPutData(port, &byte, 1) == 1 ? 0 : -1;
}

int PosixSerialDriver::SerRxReadyCount(int port) {
    return withPort(port, [&](PosixPort& p) {
        int pending = 0;
        if (retryOnEintr([&] { return sys_.ioctl(p.fd, FIONREAD, &pending); }) != 0)
            return systemFailure(-1);
        std::lock_guard lock(p.mutex);
        // Kernel bytes still hold their marks; close enough for a count of waiting input.
        return static_cast<int>(p.buffered()) + pending;
    });
}

int PosixSerialDriver::SerTxBufCount(int port) {
    return withPort(port, [&](PosixPort& p) {
        int queued = 0;
        if (retryOnEintr([&] { return sys_.ioctl(p.fd, TIOCOUTQ, &queued); }) != 0)
            return systemFailure(-1);
        return queued;
    });
}

int PosixSerialDriver::SerRxFlush(int port) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        p.flushBuffer();
        return retryOnEintr([&] { return sys_.tcflush(p.fd, TCIFLUSH); }) == 0 ? 0 : systemFailure(-1);
    });
}

int PosixSerialDriver::SerTxFlush(int port) {
    return withPort(port, [&](PosixPort& p) {
        return retryOnEintr([&] { return sys_.tcflush(p.fd, TCOFLUSH); }) == 0 ? 0 : systemFailure(-1);
    });
}

int PosixSerialDriver::SerTxDrain(int port) {
    return withPort(port, [&](PosixPort& p) {
        return retryOnEintr([&] { return sys_.tcdrain(p.fd); }) == 0 ? 0 : systemFailure(-1);
    });
}

namespace {

// 1 when a UART counter moved since the last query, which then remembers it; 0 without
// counters (pseudo-terminals).
int counterGrew(PosixPort& p, int serial_icounter_struct::*counter, int PosixPort::*seen) {
    std::lock_guard lock(p.mutex);
    if (!p.haveCounters)
        return 0;
    p.collectCounters();
    const bool grew = p.counters.*counter != p.*seen;
    p.*seen = p.counters.*counter;
    return grew ? 1 : 0;
}

} // namespace

int PosixSerialDriver::SerRxOverflow(int port) {
    return withPort(port, [](PosixPort& p) {
        return counterGrew(p, &serial_icounter_struct::buf_overrun, &PosixPort::bufOverrunSeen);
    });
}

int PosixSerialDriver::SerSigOverrun(int port) {
    return withPort(port, [](PosixPort& p) {
        return counterGrew(p, &serial_icounter_struct::overrun, &PosixPort::overrunSeen);
    });
}

int PosixSerialDriver::errorOfLastByte(int port, int kind) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        return p.lastError == kind ? 1 : 0;
    });
}

int PosixSerialDriver::SerSigBreak(int port) {
    return errorOfLastByte(port, BreakSeen);
}
int PosixSerialDriver::SerSigFrameErr(int port) {
    return errorOfLastByte(port, FrameError);
}
int PosixSerialDriver::SerSigParityErr(int port) {
    return errorOfLastByte(port, ParityError);
}

int PosixSerialDriver::modemBits(PosixPort& p, int& bits) {
    std::lock_guard lock(p.mutex);
    if (!p.softModem) {
        if (retryOnEintr([&] { return sys_.ioctl(p.fd, TIOCMGET, &bits); }) == 0)
            return 0;
        if (!refusedByPty(errno))
            return systemFailure(-1);
        p.softModem = true;
    }
    // A pseudo-terminal has no input lines: only what we asked for is on.
    bits = p.softBits;
    return 0;
}

int PosixSerialDriver::setModemBit(PosixPort& p, int bit, bool on) {
    std::lock_guard lock(p.mutex);
    if (!p.softModem) {
        if (retryOnEintr([&] { return sys_.ioctl(p.fd, on ? TIOCMBIS : TIOCMBIC, &bit); }) == 0)
            return 0;
        if (!refusedByPty(errno))
            return systemFailure(-1);
        p.softModem = true;
    }
    p.softBits = on ? (p.softBits | bit) : (p.softBits & ~bit);
    return 0;
}

int PosixSerialDriver::modemSignal(int port, int mask) {
    return withPort(port, [&](PosixPort& p) {
        int bits = 0;
        if (modemBits(p, bits) != 0)
            return -1;
        return (bits & mask) ? 1 : 0;
    });
}

int PosixSerialDriver::SerSigCD(int port) {
    return modemSignal(port, TIOCM_CD);
}

int PosixSerialDriver::SerSigCTS(int port) {
    return modemSignal(port, TIOCM_CTS);
}

int PosixSerialDriver::SerSigDSR(int port) {
    return modemSignal(port, TIOCM_DSR);
}

int PosixSerialDriver::SerSigRing(int port) {
    return modemSignal(port, TIOCM_RI);
}

int PosixSerialDriver::SerSetDTR(int port, bool on) {
    return withPort(port, [&](PosixPort& p) { return setModemBit(p, TIOCM_DTR, on); });
}

int PosixSerialDriver::SerSetRTS(int port, bool on) {
    return withPort(port, [&](PosixPort& p) { return setModemBit(p, TIOCM_RTS, on); });
}

int PosixSerialDriver::SerSendBreak(int port, int durationMs) {
    return withPort(port, [&](PosixPort& p) {
        if (retryOnEintr([&] { return sys_.ioctl(p.fd, TIOCSBRK, nullptr); }) != 0)
            return refusedByPty(errno) ? 0 : systemFailure(-1);
        std::this_thread::sleep_for(std::chrono::milliseconds(durationMs > 0 ? durationMs : 0));
        return retryOnEintr([&] { return sys_.ioctl(p.fd, TIOCCBRK, nullptr); }) == 0 ? 0 : systemFailure(-1);
    });
}

int PosixSerialDriver::SerSetTimeoutRx(int port, int timeout) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        p.timeoutRx = timeout;
        return 0;
    });
}

int PosixSerialDriver::SerSetTimeoutTx(int port, int timeout) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        p.timeoutTx = timeout;
        return 0;
    });
}

int PosixSerialDriver::SerGetTimeoutRx(int port) {
    return withPort(
        port,
        [](PosixPort& p) {
            std::lock_guard lock(p.mutex);
            return p.timeoutRx;
        },
        0);
}

int PosixSerialDriver::SerGetTimeoutTx(int port) {
    return withPort(
        port,
        [](PosixPort& p) {
            std::lock_guard lock(p.mutex);
            return p.timeoutTx;
        },
        0);
}

int PosixSerialDriver::SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) {
    info.clear();
    for (const auto& port : PortDiscovery::listSystemPorts()) {
        names.push_back(port.devName);
        // Only ports with something to say get a description; the others keep their plain name.
        if (!port.product.empty() || !port.manufacturer.empty())
            info.emplace_back(port.devName, port.product, port.manufacturer);
    }
    return 0;
}

int PosixSerialDriver::SerFlowTask(int port) {
    // termios does the handshaking itself; nothing to do in software. Pause so a
    // caller looping on this does not spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return withPort(port, [](PosixPort&) { return 0; });
}

int PosixSerialDriver::SerServerTask(SerialConfig&) {
    return 0;
}

int PosixSerialDriver::SerRegisterDeviceNotification(std::function<void()> notify) {
    return monitor_.start(std::move(notify)) ? 0 : -1;
}

int PosixSerialDriver::SerUnregisterDeviceNotification() {
    monitor_.stop();
    return 0;
}

std::string PosixSerialDriver::SerGetName(int port) {
    return devicePath(port);
}

std::string PosixSerialDriver::SerGetPortMfgr(int port) {
    const std::string path = devicePath(port);
    for (const auto& d : PortDiscovery::listSystemPorts())
        if (d.devName == path)
            return d.manufacturer;
    return {};
}

int PosixSerialDriver::SerResetPortDriver(const std::string&) {
    return -1;
}

bool PosixSerialDriver::checkHangUp(PosixPort& p) {
    // A failed write marks the port gone while bytes the device sent before may still wait
    // in the terminal's queue: those are taken first.
    if (p.gone)
        return fill(p) <= 0;
    pollfd pfd{p.fd, POLLIN, 0};
    if (retryOnEintr([&] { return sys_.poll(&pfd, 1, 0); }) < 0)
        return false;
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // A pseudo-terminal whose other side closed still hands out what it had; gone
        // only once that is read.
        if (fill(p) > 0)
            return false;
        p.gone = true;
    }
    return p.gone;
}

int PosixSerialDriver::SerWaitForData(int port, int timeoutMs) {
    return withPort(port, [&](PosixPort& p) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        for (;;) {
            {
                std::lock_guard lock(p.mutex);
                if (p.buffered() > 0)
                    return WAIT_DATA;
                if (p.gone)
                    return checkHangUp(p) ? WAIT_GONE : WAIT_DATA;
            }
            int remaining = -1;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                remaining = left > 0 ? static_cast<int>(left) : 0;
            }
            pollfd fds[2] = {{p.fd, POLLIN, 0}, {p.wakeFd, POLLIN, 0}};
            const int r = sys_.poll(fds, 2, remaining);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return systemFailure(-1);
            }
            if (r == 0)
                return WAIT_TIMEOUT;
            if (fds[1].revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto n = sys_.read(p.wakeFd, &count, sizeof count);
                return WAIT_WOKEN;
            }
            if (fds[0].revents != 0) {
                std::lock_guard lock(p.mutex);
                const int got = fill(p);
                if (p.buffered() > 0)
                    return WAIT_DATA;
                if (got < 0 && !p.gone)
                    return -1;
                if (p.gone || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    p.gone = true;
                    return WAIT_GONE;
                }
                // Half a mark arrived; wait for the rest.
            }
        }
    });
}

int PosixSerialDriver::SerWakeUp(int port) {
    return withPort(port, [&](PosixPort& p) {
        const std::uint64_t one = 1;
        return sys_.write(p.wakeFd, &one, sizeof one) == sizeof one ? 0 : systemFailure(-1);
    });
}

int PosixSerialDriver::SerIsGone(int port) {
    return withPort(port, [&](PosixPort& p) {
        std::lock_guard lock(p.mutex);
        if (p.buffered() > 0)
            return 0;
        return checkHangUp(p) ? 1 : 0;
    });
}

} // namespace Tarolink
