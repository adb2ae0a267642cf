// The termios set-up of the POSIX driver, step by step, on plain termios values.
#include "Tarolink/PosixTermios.h"
#include "Tarolink/SerialConfig.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Tarolink;
using namespace Tarolink::posix_termios;

namespace {

// Every flag set: each step must clear what it owns, not rely on a zeroed value.
termios allSet() {
    termios t;
    std::memset(&t, 0xff, sizeof t);
    return t;
}

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

} // namespace

TEST(PosixTermios, LineFormat) {
    const std::pair<int, tcflag_t> sizes[] = {{SerialConfig::LN_5BITS, CS5},
                                              {SerialConfig::LN_6BITS, CS6},
                                              {SerialConfig::LN_7BITS, CS7},
                                              {SerialConfig::LN_8BITS, CS8}};
    for (const auto& [bits, flag] : sizes) {
        termios t = allSet();
        setDataBits(t, bits);
        EXPECT_EQ(t.c_cflag & CSIZE, flag) << bits;
    }
    const std::pair<int, tcflag_t> parities[] = {{SerialConfig::PY_NONE, 0},
                                                 {SerialConfig::PY_ODD, PARENB | PARODD},
                                                 {SerialConfig::PY_EVEN, PARENB},
                                                 {SerialConfig::PY_MARK, PARENB | CMSPAR | PARODD},
                                                 {SerialConfig::PY_SPACE, PARENB | CMSPAR}};
    for (const auto& [parity, flags] : parities) {
        termios t = allSet();
        setParity(t, parity);
        EXPECT_EQ(t.c_cflag & kParityBits, flags) << parity;
    }
    termios t = allSet();
    setStopBits(t, SerialConfig::ST_1BITS);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    setStopBits(t, SerialConfig::ST_2BITS);
    EXPECT_EQ(t.c_cflag & CSTOPB, tcflag_t{CSTOPB});
}

TEST(PosixTermios, Handshake) {
    struct Row {
        int handshake;
        tcflag_t cflag; // CRTSCTS or 0
        tcflag_t iflag; // of IXON | IXOFF | IXANY
    };
    const Row rows[] = {
        {SerialConfig::HS_NONE, 0, 0},
        {SerialConfig::HS_XONXOFF, 0, IXON | IXOFF},
        {SerialConfig::HS_CTSRTS, CRTSCTS, 0},
        {SerialConfig::HS_DSRDTR, 0, 0}, // termios has no DSR/DTR handshaking
        {SerialConfig::HS_HARD_IN, CRTSCTS, 0},
        {SerialConfig::HS_HARD_OUT, CRTSCTS, 0},
        {SerialConfig::HS_SOFT_IN, 0, IXOFF},
        {SerialConfig::HS_SOFT_OUT, 0, IXON},
        {SerialConfig::HS_HARD_IN | SerialConfig::HS_SOFT_OUT, CRTSCTS, IXON},
    };
    for (const Row& r : rows) {
        termios t = allSet();
        setHandshake(t, r.handshake);
        EXPECT_EQ(t.c_cflag & CRTSCTS, r.cflag) << r.handshake;
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), r.iflag) << r.handshake;
    }
}

TEST(PosixTermios, BitRatesByIndexOrLiteral) {
    const std::pair<int, speed_t> rows[] = {
        {SerialConfig::BR_110, B110},
        {SerialConfig::BR_9600, B9600},
        {SerialConfig::BR_921600, B921600},
        {9600, B9600},
        {1200, B1200},
        {1000000, B1000000},
        {50, B50},
        {14400, B0},
        {-1, B0},
    };
    for (const auto& [bitRate, speed] : rows) {
        termios t = allSet();
        cfsetospeed(&t, B38400);
        cfsetispeed(&t, B38400);
        EXPECT_EQ(setBitRate(t, bitRate), speed != B0) << bitRate;
        const speed_t expected = speed == B0 ? B38400 : speed; // refused: unchanged
        EXPECT_EQ(cfgetospeed(&t), expected) << bitRate;
        EXPECT_EQ(cfgetispeed(&t), expected) << bitRate;
    }
}

TEST(PosixTermios, RawModeKeepsMarksAndReturnsAtOnce) {
    termios t = allSet();
    makeRaw(t);
    EXPECT_EQ(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL), 0u);
    EXPECT_EQ(t.c_iflag & (PARMRK | INPCK), tcflag_t{PARMRK | INPCK});
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(PosixTermios, ApplyTakesEveryFieldOrNothing) {
    SerialConfig config("/dev/ttyS0");
    config.setBitRate(SerialConfig::BR_19200);
    config.setDataBits(SerialConfig::LN_7BITS);
    config.setParity(SerialConfig::PY_EVEN);
    config.setStopBits(SerialConfig::ST_2BITS);
    config.setHandshake(SerialConfig::HS_CTSRTS);
    termios t{};
    ASSERT_TRUE(apply(t, config));
    EXPECT_EQ(cfgetospeed(&t), speed_t{B19200});
    EXPECT_EQ(t.c_cflag & (CSIZE | kParityBits | CSTOPB | CRTSCTS),
              tcflag_t{CS7 | PARENB | CSTOPB | CRTSCTS});
    EXPECT_EQ(t.c_lflag & ICANON, 0u);

    config.setBitRate(14400);
    termios before = allSet();
    termios after = before;
    EXPECT_FALSE(apply(after, config));
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}
