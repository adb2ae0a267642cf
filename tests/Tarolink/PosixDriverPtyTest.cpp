// The POSIX driver through real pseudo-terminals: the test writes and reads on the
// master side as the instrument would.
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/PosixSyscalls.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <termios.h>

#include <thread>

using namespace Tarolink;
using tarolink_test::errorText;
using tarolink_test::PropertyGuard;
using tarolink_test::Pty;

namespace {

// Real calls; keeps the last settings handed to the terminal, since a pseudo-terminal
// forces 8 data bits and no parity on itself and so cannot show them.
class RecordingSyscalls : public PosixSyscalls {
public:
    termios lastSet{};
    int tcsetattr(int fd, int action, const termios* t) override {
        lastSet = *t;
        return PosixSyscalls::tcsetattr(fd, action, t);
    }
};

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override { SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>(sys)); }
    void TearDown() override { SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>()); }

    PropertyGuard os_{"TLK_OSNAME", "Linux"};
    RecordingSyscalls sys;
    Pty pty;
};

std::string ioError(const std::function<void()>& f) {
    return errorText<PortIOException>(f);
}

std::vector<int> takeAll(SerialPort& port, std::size_t expected) {
    std::vector<int> got;
    while (got.size() < expected) {
        if (port.waitForData(5000) != SerialPort::WaitResult::DataReady)
            break;
        for (int b; (b = port.getByte()) >= 0;)
            got.push_back(b);
    }
    return got;
}

} // namespace

TEST_F(PtyPort, OpensRawAndReadsByteByByte) {
    SerialConfig c(pty.slavePath());
    c.setBitRate(SerialConfig::BR_19200);
    c.setParity(SerialConfig::PY_EVEN);
    c.setDataBits(SerialConfig::LN_7BITS);
    c.setStopBits(SerialConfig::ST_2BITS);
    SerialPortLocal port(c);
    ASSERT_TRUE(port.isOpen());

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B19200) << "the device took the settings";
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    t = sys.lastSet;
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_iflag & PARMRK);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_iflag & (IGNPAR | ISTRIP | IGNBRK | BRKINT | IXON | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    EXPECT_EQ(port.getByte(), -1) << "nothing sent yet";
    EXPECT_FALSE(port.isDeviceGone());
    pty.write("ST,GS,+  12.50 g\r\n");
    const auto got = takeAll(port, 18);
    EXPECT_EQ(std::string(got.begin(), got.end()), "ST,GS,+  12.50 g\r\n");
    EXPECT_FALSE(port.sigParityErr());
    EXPECT_FALSE(port.sigFrameErr());
}

TEST_F(PtyPort, FramingErrorsAreMarkedWithoutParityToo) {
    // Without input checking a framing error arrives as a plain byte: nothing to report.
    for (int parity : {SerialConfig::PY_NONE, SerialConfig::PY_ODD}) {
        SerialConfig c(pty.slavePath());
        c.setParity(parity);
        SerialPortLocal port(c);
        EXPECT_TRUE(sys.lastSet.c_iflag & INPCK) << "parity " << parity;
        EXPECT_TRUE(sys.lastSet.c_iflag & PARMRK) << "parity " << parity;
        EXPECT_FALSE(sys.lastSet.c_iflag & IGNPAR) << "parity " << parity;
        EXPECT_EQ(static_cast<bool>(sys.lastSet.c_cflag & PARENB), parity != SerialConfig::PY_NONE);
    }
}

TEST_F(PtyPort, MarkAndSpaceParityReachTheDevice) {
    SerialConfig c(pty.slavePath());
    c.setParity(SerialConfig::PY_MARK);
    SerialPortLocal port(c);
    termios t = sys.lastSet;
    EXPECT_EQ(t.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | CMSPAR | PARODD));
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_TRUE(t.c_cflag & CMSPAR) << "the device took the settings";
    port.getConfig().setParity(SerialConfig::PY_SPACE);
    port.getConfig().setHandshake(SerialConfig::HS_CTSRTS);
    port.configure();
    t = sys.lastSet;
    EXPECT_EQ(t.c_cflag & (PARENB | CMSPAR | PARODD), static_cast<tcflag_t>(PARENB | CMSPAR));
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
}

TEST_F(PtyPort, ByteFFPassesThroughUnchanged) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    const std::vector<std::uint8_t> data{0x41, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x42};
    pty.write(data);
    const auto got = takeAll(port, data.size());
    EXPECT_EQ(got, std::vector<int>(data.begin(), data.end()));
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0xFF : i);
    pty.write(big);
    std::vector<std::uint8_t> back(big.size());
    std::size_t n = 0;
    while (n < back.size() && port.waitForData(5000) == SerialPort::WaitResult::DataReady)
        n += static_cast<std::size_t>(
            port.getData(back, static_cast<int>(n), static_cast<int>(back.size() - n)));
    EXPECT_EQ(back, big);
}

TEST_F(PtyPort, WritesReachTheOtherSide) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    port.putString("Q\r\n");
    const std::vector<std::uint8_t> data{0x00, 0xFF, 0x0A, 0x80};
    port.putData(data);
    port.putByte('Z');
    port.txDrain();
    const auto got = pty.read(8);
    EXPECT_EQ(got, (std::vector<std::uint8_t>{'Q', '\r', '\n', 0x00, 0xFF, 0x0A, 0x80, 'Z'}));
    EXPECT_GE(port.txBufCount(), 0);
}

TEST_F(PtyPort, HeldPortIsRefusedEvenForRoot) {
    const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ioError([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }),
              pty.slavePath() + ": SerOpenPort failed: Port is in use");
    ::close(other);
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    EXPECT_TRUE(port.isOpen());
    // The same device twice in this process.
    EXPECT_EQ(ioError([&] { SerialPortLocal p(SerialConfig(pty.slavePath())); }),
              pty.slavePath() + ": SerOpenPort failed: Port is already open");
    // And another open file of the device cannot lock it while the port holds it.
    const int third = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (third >= 0) { // as non-root TIOCEXCL already refuses the open itself
        EXPECT_NE(::flock(third, LOCK_EX | LOCK_NB), 0);
        ::close(third);
    }
}

TEST_F(PtyPort, CloseReleasesThePort) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    port.close();
    EXPECT_NO_THROW(port.close());
    EXPECT_EQ(ioError([&] { port.sigCTS(); }), "sigCTS: Port not open");
    port.open();
    EXPECT_TRUE(port.isOpen());
    port.close();
    const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0) << "exclusive mode is cleared on close";
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(PtyPort, MissingAndInvalidDevices) {
    EXPECT_EQ(ioError([] { SerialPortLocal p(SerialConfig("/dev/does-not-exist")); }),
              "/dev/does-not-exist: SerOpenPort failed: 2: No such device");
    EXPECT_EQ(ioError([] { SerialPortLocal p(SerialConfig("/dev/null")); }),
              "/dev/null: SerOpenPort failed: Port not valid");
    EXPECT_EQ(ioError([] { SerialPortLocal p(SerialConfig("/tmp")); }),
              "/tmp: SerOpenPort failed: Port not valid");
}

TEST_F(PtyPort, ModemLinesAreKeptInSoftwareOnAPseudoTerminal) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    EXPECT_NO_THROW(port.setRTS(true));
    EXPECT_NO_THROW(port.setDTR(true));
    EXPECT_FALSE(port.sigCTS());
    EXPECT_FALSE(port.sigDSR());
    EXPECT_FALSE(port.sigCD());
    EXPECT_FALSE(port.sigRing());
    EXPECT_FALSE(port.sigOverrun());
    EXPECT_FALSE(port.rxOverflow());
    EXPECT_NO_THROW(port.sendBreak(1));
}

TEST_F(PtyPort, FlushDropsWaitingInput) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    pty.write("old");
    ASSERT_EQ(port.waitForData(5000), SerialPort::WaitResult::DataReady);
    EXPECT_GE(port.rxReadyCount(), 1);
    port.rxFlush();
    EXPECT_EQ(port.getByte(), -1);
    pty.write("n");
    EXPECT_EQ(takeAll(port, 1), std::vector<int>{'n'});
}

TEST_F(PtyPort, WaitWakesOnDataAndOnWakeUp) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    EXPECT_EQ(port.waitForData(0), SerialPort::WaitResult::TimedOut);
    std::thread writer([&] { pty.write("7"); });
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::DataReady);
    writer.join();
    EXPECT_EQ(port.getByte(), '7');

    std::thread waker([&] { port.wakeUp(); });
    EXPECT_EQ(port.waitForData(-1), SerialPort::WaitResult::WokenUp);
    waker.join();
    EXPECT_EQ(port.waitForData(0), SerialPort::WaitResult::TimedOut) << "one wake-up ends one wait";
}

TEST_F(PtyPort, VanishedDeviceIsReportedAsGone) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    pty.write("last");
    ASSERT_EQ(port.waitForData(5000), SerialPort::WaitResult::DataReady);
    pty.closeMaster();
    std::string got;
    for (int b; (b = port.getByte()) >= 0;)
        got += static_cast<char>(b);
    EXPECT_EQ(got, "last") << "what came before the hang-up is delivered";
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_TRUE(port.isDeviceGone());
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::DeviceGone);
    EXPECT_NO_THROW(port.close());
}

TEST_F(PtyPort, GoneWhileWaiting) {
    SerialPortLocal port(SerialConfig(pty.slavePath()));
    std::thread closer([&] { pty.closeMaster(); });
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::DeviceGone);
    closer.join();
}

TEST(PosixSerialDriver, ErrnoTranslation) {
    const std::pair<int, int> rows[] = {
        {EWOULDBLOCK, 1002}, {EBUSY, 1002},  {ENOTTY, 1003}, {EINVAL, 1003}, {EISDIR, 1003},
        {ENOENT, 1004},      {EMFILE, 1005}, {EIO, 1005},    {EACCES, 1006}, {EPERM, 1006},
        {ETXTBSY, 1007},     {ENODEV, 1008}, {ENXIO, 1008},  {0, 0},
    };
    for (const auto& [err, code] : rows)
        EXPECT_EQ(PosixSerialDriver::codeForErrno(err), code) << err;
}
