// Faults injected under the POSIX driver through its system-call seam, on a real
// pseudo-terminal: interrupted and would-block calls are retried or waited out, I/O
// errors and hang-ups are told apart from "no data yet".
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/PosixSyscalls.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <linux/serial.h>
#include <mutex>
#include <sys/ioctl.h>

using namespace Tarolink;
using tarolink_test::errorText;
using tarolink_test::PropertyGuard;
using tarolink_test::Pty;

namespace {

// Real calls, except that each queued errno makes one call of that kind fail first.
class FaultySyscalls : public PosixSyscalls {
public:
    std::deque<int> openFaults, readFaults, writeFaults, tcsetattrFaults, pollFaults, flockFaults;
    bool hangUp = false; // poll reports POLLHUP on the device, read returns 0
    int reads = 0, writes = 0, tcsetattrs = 0, closes = 0;
    bool outputDiscarded = false; // tcflush(TCOFLUSH) seen
    bool discardedBeforeFirstClose = false;

    int open(const char* path, int flags) override {
        return fault(openFaults) ? -1 : PosixSyscalls::open(path, flags);
    }
    int tcflush(int fd, int queue) override {
        outputDiscarded = outputDiscarded || queue == TCOFLUSH || queue == TCIOFLUSH;
        return PosixSyscalls::tcflush(fd, queue);
    }
    int close(int fd) override {
        if (closes++ == 0)
            discardedBeforeFirstClose = outputDiscarded;
        return PosixSyscalls::close(fd);
    }
    ssize_t read(int fd, void* buffer, size_t count) override {
        ++reads;
        if (hangUp && count > sizeof(std::uint64_t))
            return 0;
        if (count > sizeof(std::uint64_t) && fault(readFaults)) // not the wake-up counter
            return -1;
        return PosixSyscalls::read(fd, buffer, count);
    }
    ssize_t write(int fd, const void* buffer, size_t count) override {
        ++writes;
        if (count != sizeof(std::uint64_t) && fault(writeFaults))
            return -1;
        return PosixSyscalls::write(fd, buffer, count);
    }
    int tcsetattr(int fd, int action, const termios* t) override {
        ++tcsetattrs;
        return fault(tcsetattrFaults) ? -1 : PosixSyscalls::tcsetattr(fd, action, t);
    }
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
        if (fault(pollFaults))
            return -1;
        if (hangUp) {
            for (nfds_t i = 0; i < count; ++i)
                fds[i].revents = 0;
            fds[0].revents = POLLHUP;
            return 1;
        }
        return PosixSyscalls::poll(fds, count, timeoutMs);
    }
    int flock(int fd, int operation) override {
        return fault(flockFaults) ? -1 : PosixSyscalls::flock(fd, operation);
    }

private:
    bool fault(std::deque<int>& q) {
        std::lock_guard lock(mutex_);
        if (q.empty())
            return false;
        errno = q.front();
        q.pop_front();
        return true;
    }
    std::mutex mutex_;
};

class Seam : public ::testing::Test {
protected:
    void SetUp() override { SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>(sys)); }
    // The library must not keep a driver whose system calls die with this fixture.
    void TearDown() override { SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>()); }

    PropertyGuard os_{"TLK_OSNAME", "Linux"};
    FaultySyscalls sys;
    Pty pty;
};

std::string ioError(const std::function<void()>& f) {
    return errorText<PortIOException>(f);
}

} // namespace

TEST_F(Seam, OpenErrorsBecomeTheirTexts) {
    const std::pair<int, std::string> rows[] = {
        {EACCES, "Permission denied"}, {ENOENT, "2: No such device"}, {ENODEV, "19: No such device"},
        {EBUSY, "Port is in use"},     {ENOTTY, "Port not valid"},    {EMFILE, ": 1005"},
        {ETXTBSY, "Device busy"},
    };
    for (const auto& [err, text] : rows) {
        sys.openFaults = {err};
        EXPECT_EQ(ioError([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }),
                  pty.slavePath() + ": SerOpenPort failed: " + text)
            << err;
    }
    sys.flockFaults = {EWOULDBLOCK};
    EXPECT_EQ(ioError([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }),
              pty.slavePath() + ": SerOpenPort failed: Port is in use");
    sys.openFaults = {EINTR, EINTR};
    sys.flockFaults = {EINTR};
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    EXPECT_TRUE(port.isOpen()) << "interrupted calls are retried";
}

TEST_F(Seam, ConfigureRetriesInterruptionsAndReportsFailures) {
    sys.tcsetattrFaults = {EINTR};
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    EXPECT_TRUE(port.isOpen());
    sys.tcsetattrFaults = {EIO};
    EXPECT_EQ(ioError([&] { port.configure(); }), "Configure failed: 1005");
    EXPECT_TRUE(port.isOpen());
    port.close();
    sys.tcsetattrFaults = {EIO};
    EXPECT_EQ(ioError([&] { port.open(); }), "Configure failed: 1005");
    EXPECT_FALSE(port.isOpen()) << "a port that cannot be set up is closed again";
    port.open();
    EXPECT_TRUE(port.isOpen()) << "and nothing of it stays held";
}

TEST_F(Seam, ReadsRetryInterruptionsAndTellNoDataFromFailure) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    pty.write("A");
    ASSERT_EQ(port.waitForData(5000), SerialPort::WaitResult::DataReady);
    EXPECT_EQ(port.getByte(), 'A');

    pty.write("B");
    sys.readFaults = {EINTR, EINTR};
    ASSERT_EQ(port.waitForData(5000), SerialPort::WaitResult::DataReady);
    EXPECT_TRUE(sys.readFaults.empty()) << "both interruptions were met and retried";
    EXPECT_EQ(port.getByte(), 'B');

    sys.readFaults = {EAGAIN};
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_FALSE(port.isDeviceGone()) << "EAGAIN is no data, not a failure";

    sys.readFaults = {EIO};
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_TRUE(port.isDeviceGone());
    EXPECT_EQ(port.waitForData(1000), SerialPort::WaitResult::DeviceGone);
}

TEST_F(Seam, WaitSurvivesInterruptedPoll) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    pty.write("C");
    sys.pollFaults = {EINTR, EINTR};
    EXPECT_EQ(port.waitForData(5000), SerialPort::WaitResult::DataReady);
    EXPECT_EQ(port.getByte(), 'C');
}

TEST_F(Seam, HangUpIsReportedAsGone) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    sys.hangUp = true;
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_TRUE(port.isDeviceGone());
    EXPECT_EQ(port.waitForData(1000), SerialPort::WaitResult::DeviceGone);
    sys.hangUp = false;
}

TEST_F(Seam, WritesRetryAndWaitForRoom) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    sys.writeFaults = {EINTR, EAGAIN};
    port.putString("hello");
    EXPECT_EQ(pty.read(5), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    sys.writeFaults = {EIO};
    EXPECT_EQ(ioError([&] { port.putString("x"); }), "PutString: sent only -1 of 1 bytes");
    EXPECT_TRUE(port.isDeviceGone());
}

TEST_F(Seam, BytesQueuedBeforeAFailedWriteAreStillDelivered) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    pty.write("abc");
    // The pseudo-terminal hands written bytes on asynchronously; wait until they are queued.
    for (int i = 0; i < 5000 && port.rxReadyCount() < 3; ++i)
        ::usleep(1000);
    ASSERT_EQ(port.rxReadyCount(), 3);
    sys.writeFaults = {EIO};
    EXPECT_EQ(ioError([&] { port.putString("?"); }), "PutString: sent only -1 of 1 bytes");
    EXPECT_FALSE(port.isDeviceGone()) << "three bytes still wait";
    EXPECT_EQ(port.waitForData(1000), SerialPort::WaitResult::DataReady);
    std::string got;
    for (int b; (b = port.getByte()) >= 0;)
        got += static_cast<char>(b);
    EXPECT_EQ(got, "abc");
    EXPECT_TRUE(port.isDeviceGone());
    EXPECT_EQ(port.waitForData(1000), SerialPort::WaitResult::DeviceGone);
}

TEST_F(Seam, CloseIsNeverRetried) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    const int before = sys.closes;
    port.close();
    EXPECT_EQ(sys.closes - before, 2) << "the device and the wake-up counter, once each";
}

// Unsent output is dropped before the device is closed, so a close never waits on a
// handshake line that stays low.
TEST_F(Seam, CloseDiscardsUnsentOutputFirst) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    port.putString("1\r");
    sys.closes = 0;
    sys.outputDiscarded = false;
    port.close();
    EXPECT_TRUE(sys.discardedBeforeFirstClose);
}

namespace {

// Serves scripted chunks as what the terminal delivered (PARMRK-marked bytes) and
// scripted UART error counters, over a real pseudo-terminal.
class ScriptedSyscalls : public PosixSyscalls {
public:
    std::deque<std::vector<std::uint8_t>> chunks;
    bool counters = false;
    serial_icounter_struct icount{};

    ssize_t read(int fd, void* buffer, size_t count) override {
        if (count <= sizeof(std::uint64_t)) // the wake-up counter
            return PosixSyscalls::read(fd, buffer, count);
        if (chunks.empty()) {
            errno = EAGAIN;
            return -1;
        }
        const auto chunk = chunks.front();
        chunks.pop_front();
        std::memcpy(buffer, chunk.data(), std::min(count, chunk.size()));
        return static_cast<ssize_t>(chunk.size());
    }
    int ioctl(int fd, unsigned long request, void* argument) override {
        if (request == TIOCGICOUNT) {
            if (!counters) {
                errno = EINVAL;
                return -1;
            }
            *static_cast<serial_icounter_struct*>(argument) = icount;
            return 0;
        }
        return PosixSyscalls::ioctl(fd, request, argument);
    }
};

struct Taken {
    int byte;
    bool parity, frame, brk;
    bool operator==(const Taken&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Taken& t) {
    return os << "{" << t.byte << (t.parity ? " parity" : "") << (t.frame ? " frame" : "")
              << (t.brk ? " break" : "") << "}";
}

serial_icounter_struct counts(int frame, int parity, int brk) {
    serial_icounter_struct c{};
    c.frame = frame;
    c.parity = parity;
    c.brk = brk;
    return c;
}

std::vector<Taken> takeAll(SerialPort& port) {
    std::vector<Taken> out;
    for (int b; (b = port.getByte()) >= 0;)
        out.push_back({b, port.sigParityErr(), port.sigFrameErr(), port.sigBreak()});
    return out;
}

} // namespace

TEST(SeamMarks, ErrorsAreAttributedToTheByteTheyMark) {
    PropertyGuard os("TLK_OSNAME", "Linux");
    struct Row {
        const char* what;
        int parity;
        bool counters;
        serial_icounter_struct after;
        std::vector<std::vector<std::uint8_t>> chunks;
        std::vector<Taken> expected;
    } rows[] = {
        {"no parity, no counters: marks are framing errors",
         SerialConfig::PY_NONE,
         false,
         counts(0, 0, 0),
         {{'A', 0xFF, 0x00, 'B', 'C', 0xFF, 0x00, 0x00, 0xFF, 0xFF}},
         {{'A', false, false, false},
          {'B', false, true, false},
          {'C', false, false, false},
          {0, false, true, false},
          {0xFF, false, false, false}}},
        {"parity on, no counters: a marked byte is a parity error",
         SerialConfig::PY_EVEN,
         false,
         counts(0, 0, 0),
         {{0xFF, 0x00}, {'B', 0xFF}, {0xFF, '1'}},
         {{'B', true, false, false}, {0xFF, false, false, false}, {'1', false, false, false}}},
        {"counters tell break, parity and framing apart",
         SerialConfig::PY_ODD,
         true,
         counts(1, 1, 1),
         {{0xFF, 0x00, 0x00, 'x', 0xFF, 0x00, 'y', 0xFF, 0x00, 'z'}},
         {{0, false, false, true},
          {'x', false, false, false},
          {'y', true, false, false},
          {'z', false, true, false}}},
        {"a mark split between reads: FF at the end of one, 00 x at the start of the next",
         SerialConfig::PY_NONE,
         false,
         counts(0, 0, 0),
         {{'A', 0xFF}, {0x00, 'B', 'C', 0xFF}, {0xFF}},
         {{'A', false, false, false},
          {'B', false, true, false},
          {'C', false, false, false},
          {0xFF, false, false, false}}},
        {"counters: an error on a zero byte is not a break",
         SerialConfig::PY_NONE,
         true,
         counts(1, 0, 0),
         {{0xFF, 0x00, 0x00}},
         {{0, false, true, false}}},
    };
    for (const auto& row : rows) {
        ScriptedSyscalls sys;
        sys.counters = row.counters;
        SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>(sys));
        Pty pty;
        SerialConfig c(pty.slavePath());
        c.setParity(row.parity);
        {
            SerialPortLocal port(c);
            sys.icount = row.after;
            sys.chunks.assign(row.chunks.begin(), row.chunks.end());
            std::vector<Taken> got;
            for (std::size_t i = 0; i < row.chunks.size(); ++i) {
                auto part = takeAll(port);
                got.insert(got.end(), part.begin(), part.end());
            }
            EXPECT_EQ(got, row.expected) << row.what;
        }
        SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
    }
}

TEST(SeamReads, SmallReadsDuringABacklogKeepTheBufferSmallAndLoseNothing) {
    PropertyGuard os("TLK_OSNAME", "Linux");
    ScriptedSyscalls sys;
    auto driver = std::make_shared<PosixSerialDriver>(sys);
    SerialPortLocal::installDriver(driver);
    Pty pty;
    {
        SerialPortLocal port{SerialConfig(pty.slavePath())};
        // Reads of three bytes while the terminal always has more: one left over after
        // every read, so the buffer is never empty when the next block comes in.
        constexpr int kCount = 3;
        constexpr int kBlocks = 2000;
        std::vector<std::uint8_t> expected;
        std::uint8_t value = 0xF0;
        for (int i = 0; i < kBlocks; ++i) {
            std::vector<std::uint8_t> chunk;
            for (int k = 0; k < (i == 0 ? kCount + 1 : kCount); ++k, ++value) {
                expected.push_back(value);
                chunk.push_back(value);
                if (value == 0xFF)
                    chunk.push_back(0xFF); // doubled by the terminal
            }
            sys.chunks.push_back(chunk);
        }
        std::vector<std::uint8_t> got;
        std::size_t most = 0;
        std::uint8_t buf[kCount];
        for (int n; (n = port.getData(buf, 0, kCount)) > 0;) {
            got.insert(got.end(), buf, buf + n);
            most = std::max(most, driver->rxBufferEntries(port.getPortNum()));
        }
        EXPECT_EQ(got, expected);
        EXPECT_LE(most, static_cast<std::size_t>(2 * kCount + 1)) << "taken bytes are not kept";
    }
    SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
}

TEST_F(Seam, TheSystemsErrorTravelsBesideTheFixedText) {
    const auto failure = [](const std::function<void()>& f) -> std::pair<std::string, int> {
        try {
            f();
        } catch (const PortIOException& e) {
            return {e.what(), e.systemError()};
        }
        return {"", 0};
    };
    sys.openFaults = {EACCES};
    EXPECT_EQ(failure([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }),
              std::pair(pty.slavePath() + ": SerOpenPort failed: Permission denied", EACCES));
    sys.flockFaults = {EWOULDBLOCK};
    EXPECT_EQ(failure([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }).second, EWOULDBLOCK)
        << "the reason survives the clean-up calls after it";

    SerialPortLocal port(SerialConfig(pty.slavePath()));
    sys.tcsetattrFaults = {EIO};
    EXPECT_EQ(failure([&] { port.configure(); }), std::pair(std::string("Configure failed: 1005"), EIO));
    sys.writeFaults = {ENOSPC};
    EXPECT_EQ(failure([&] { port.putString("abc"); }).second, ENOSPC);
    sys.readFaults = {EIO};
    std::uint8_t buffer[4];
    EXPECT_EQ(failure([&] { port.getData(buffer); }), std::pair(std::string("getData: failed"), EIO));
}
