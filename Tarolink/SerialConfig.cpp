#include "Tarolink/SerialConfig.h"

#include "Tarolink/OsInfo.h"
#include "Tarolink/SerialExceptions.h"

#include <algorithm>
#include <stdexcept>

namespace Tarolink {

SerialConfig::SerialConfig() : SerialConfig(std::string("COM1")) {
    baseName_ = "/dev/ttyS";
}

SerialConfig::SerialConfig(std::int32_t port) : SerialConfig(port, 4096, 4096) {}

SerialConfig::SerialConfig(std::int32_t port, std::int32_t txLen, std::int32_t rxLen)
    : port_(port), baseName_("/dev/ttyS"), txLen_(txLen), rxLen_(rxLen), osName_(OsInfo::effectiveName()) {}

SerialConfig::SerialConfig(const std::string& portName) : osName_(OsInfo::effectiveName()) {
    setPortName(portName);
}

std::int32_t SerialConfig::getBitRateIndex(std::int32_t rate) const {
    const auto it = std::find(bitRateNumbers.begin(), bitRateNumbers.end(), rate);
    return it == bitRateNumbers.end() ? -1 : static_cast<std::int32_t>(it - bitRateNumbers.begin());
}

std::int32_t SerialConfig::getBitRateNumber(std::int32_t index) const {
    if (bitRate_ > 30)
        return bitRate_;
    if (index < 0 || index >= static_cast<std::int32_t>(bitRateNumbers.size()))
        throw std::out_of_range("Index " + std::to_string(index) + " out of bounds for length " +
                                std::to_string(bitRateNumbers.size()));
    return bitRateNumbers[static_cast<std::size_t>(index)];
}

std::string SerialConfig::getSettingsString() const {
    std::string s = std::to_string(getBitRateNumber(bitRate_));
    s += " / ";
    s += parityNames.at(static_cast<std::size_t>(parity_));
    s += " / ";
    s += static_cast<char>('0' + dataBits_ + 5);
    s += " / ";
    s += static_cast<char>('0' + stopBits_ + 1);
    s += " / ";
    if ((handshake_ & HS_SPLIT_MASK) != 0) {
        if (handshake_ & HS_HARD_IN)
            s += " HI";
        if (handshake_ & HS_HARD_OUT)
            s += " HO";
        if (handshake_ & HS_SOFT_IN)
            s += " SI";
        if (handshake_ & HS_SOFT_OUT)
            s += " SO";
    } else if (osName_ == "Mac OS" && handshake_ == HS_CTSRTS) {
        s += "CTS-DTR";
    } else {
        s += handshakeNames.at(static_cast<std::size_t>(handshake_));
    }
    return s;
}

void SerialConfig::setBitRate(std::int32_t rate) {
    if (rate < 0 || rate > 921600)
        throw PortArgumentException("Invalid Serial Port Bit Rate");
    bitRate_ = rate;
}

void SerialConfig::setDataBits(std::int32_t bits) {
    if (bits < LN_5BITS || bits > LN_8BITS)
        throw PortArgumentException("Invalid Serial Port Data Bits");
    dataBits_ = bits;
}

void SerialConfig::setParity(std::int32_t parity) {
    if (parity < PY_NONE || parity > PY_SPACE)
        throw PortArgumentException("Invalid Serial Port Parity");
    parity_ = parity;
}

void SerialConfig::setStopBits(std::int32_t bits) {
    if (bits < ST_1BITS || bits > ST_2BITS)
        throw PortArgumentException("Invalid Serial Port Stop Bits");
    stopBits_ = bits;
}

bool SerialConfig::hasDsrDtrHandshake(const std::string& osName) {
    static const char* const names[] = {"Windows 95",           "Windows NT",
                                        "Windows CE",           "Windows 98",
                                        "Windows Me",           "Windows XP",
                                        "Windows 2000",         "Windows 2003",
                                        "Windows Server 2008",  "Windows Server 2008 R2",
                                        "Windows Vista",        "Windows 7",
                                        "Windows NT (unknown)", "OS/2"};
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return osName == n; });
}

void SerialConfig::setHandshake(std::int32_t handshake) {
    if (handshake == HS_DSRDTR) {
        if (!hasDsrDtrHandshake(osName_))
            throw PortArgumentException("DSRDTR handshaking not available on this platform");
    } else if (!(handshake >= HS_NONE && handshake <= HS_CTSRTS) && !(handshake >= 16 && handshake <= 240)) {
        // The split range is checked as a range, as documented, not bit by bit.
        throw PortArgumentException("Invalid Serial Port Handshake");
    }
    handshake_ = handshake;
}

void SerialConfig::setPortName(const std::string& name) {
    portName_ = name;
    portNameBytes_ = name;
}

void SerialConfig::setPortNum(std::int32_t port) {
    if (port < 0 && osName_ != "EPOC")
        throw PortArgumentException("Invalid Port Number: " + std::to_string(port));
    port_ = port;
}

void SerialConfig::setRxLen(std::int32_t len) {
    if (osName_ == "EPOC" && len > 8192)
        throw PortArgumentException("Limited to 8192 on EPOC");
    rxLen_ = len;
}

void SerialConfig::setTxLen(std::int32_t len) {
    if (osName_ == "EPOC" && len > 8192)
        throw PortArgumentException("Limited to 8192 on EPOC");
    txLen_ = len;
}

} // namespace Tarolink
