#include "Tarolink/PosixTermios.h"

#include "Tarolink/SerialConfig.h"

#include <iterator>

namespace Tarolink::posix_termios {

namespace {

struct Speed {
    int rate;
    speed_t speed;
};

// The rates Linux has a speed constant for, besides the table of SerialConfig.
constexpr Speed kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

} // namespace

speed_t speedForRate(int rate) {
    for (const Speed& s : kSpeeds)
        if (s.rate == rate)
            return s.speed;
    return B0;
}

void makeRaw(termios& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
    // Input checking whatever the parity: without INPCK the UART drivers and the line
    // discipline pass framing errors on as plain bytes, with no mark.
    t.c_iflag |= PARMRK | INPCK;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

void setDataBits(termios& t, int dataBits) {
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag = (t.c_cflag & ~CSIZE) | sizes[static_cast<unsigned>(dataBits) % std::size(sizes)];
}

void setParity(termios& t, int parity) {
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case SerialConfig::PY_ODD:
        t.c_cflag |= PARENB | PARODD;
        break;
    case SerialConfig::PY_EVEN:
        t.c_cflag |= PARENB;
        break;
    case SerialConfig::PY_MARK:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SerialConfig::PY_SPACE:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
}

void setStopBits(termios& t, int stopBits) {
    if (stopBits == SerialConfig::ST_2BITS)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~CSTOPB;
}

void setHandshake(termios& t, int handshake) {
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (handshake & SerialConfig::HS_SPLIT_MASK) {
        if (handshake & (SerialConfig::HS_HARD_IN | SerialConfig::HS_HARD_OUT))
            t.c_cflag |= CRTSCTS;
        if (handshake & SerialConfig::HS_SOFT_IN)
            t.c_iflag |= IXOFF;
        if (handshake & SerialConfig::HS_SOFT_OUT)
            t.c_iflag |= IXON;
    } else if (handshake == SerialConfig::HS_XONXOFF) {
        t.c_iflag |= IXON | IXOFF;
    } else if (handshake == SerialConfig::HS_CTSRTS) {
        t.c_cflag |= CRTSCTS;
    }
}

bool setBitRate(termios& t, int bitRate) {
    const auto& table = SerialConfig::bitRateNumbers;
    const int rate = (bitRate >= 0 && static_cast<std::size_t>(bitRate) < table.size())
                         ? table[static_cast<std::size_t>(bitRate)]
                         : bitRate;
    const speed_t speed = speedForRate(rate);
    if (speed == B0)
        return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}

bool apply(termios& t, const SerialConfig& config) {
    termios next = t;
    if (!setBitRate(next, config.getBitRate()))
        return false;
    makeRaw(next);
    setDataBits(next, config.getDataBits());
    setParity(next, config.getParity());
    setStopBits(next, config.getStopBits());
    setHandshake(next, config.getHandshake());
    t = next;
    return true;
}

} // namespace Tarolink::posix_termios
