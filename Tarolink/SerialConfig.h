#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Tarolink {

// Line settings of one serial port: which port, bit rate, data bits, parity, stop bits,
// handshake, buffer sizes and two flow flags. Setters validate at once and throw
// PortArgumentException with a fixed text, leaving the object unchanged.
// Not synchronised: a configuration belongs to the thread that owns its port.
class SerialConfig {
public:
    static constexpr std::array<std::int32_t, 15> bitRateNumbers{
        110, 150, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
    static constexpr std::array<const char*, 5> parityNames{"NONE", "ODD", "EVEN", "MARK", "SPACE"};
    static constexpr std::array<const char*, 4> handshakeNames{"NONE", "XON-XOFF", "CTS-RTS", "DSR-DTR"};

    static constexpr std::int32_t BR_110 = 0;
    static constexpr std::int32_t BR_150 = 1;
    static constexpr std::int32_t BR_300 = 2;
    static constexpr std::int32_t BR_600 = 3;
    static constexpr std::int32_t BR_1200 = 4;
    static constexpr std::int32_t BR_2400 = 5;
    static constexpr std::int32_t BR_4800 = 6;
    static constexpr std::int32_t BR_9600 = 7;
    static constexpr std::int32_t BR_19200 = 8;
    static constexpr std::int32_t BR_38400 = 9;
    static constexpr std::int32_t BR_57600 = 10;
    static constexpr std::int32_t BR_115200 = 11;
    static constexpr std::int32_t BR_230400 = 12;
    static constexpr std::int32_t BR_460800 = 13;
    static constexpr std::int32_t BR_921600 = 14;

    static constexpr std::int32_t LN_5BITS = 0;
    static constexpr std::int32_t LN_6BITS = 1;
    static constexpr std::int32_t LN_7BITS = 2;
    static constexpr std::int32_t LN_8BITS = 3;

    static constexpr std::int32_t ST_1BITS = 0;
    static constexpr std::int32_t ST_2BITS = 1;

    static constexpr std::int32_t PY_NONE = 0;
    static constexpr std::int32_t PY_ODD = 1;
    static constexpr std::int32_t PY_EVEN = 2;
    static constexpr std::int32_t PY_MARK = 3;
    static constexpr std::int32_t PY_SPACE = 4;

    static constexpr std::int32_t HS_NONE = 0;
    static constexpr std::int32_t HS_XONXOFF = 1;
    static constexpr std::int32_t HS_CTSRTS = 2;
    static constexpr std::int32_t HS_DSRDTR = 3;
    static constexpr std::int32_t HS_HARD_IN = 0x10;
    static constexpr std::int32_t HS_HARD_OUT = 0x20;
    static constexpr std::int32_t HS_SOFT_IN = 0x40;
    static constexpr std::int32_t HS_SOFT_OUT = 0x80;
    static constexpr std::int32_t HS_SPLIT_MASK = 0xF0;

    // Port "COM1", base name "/dev/ttyS".
    SerialConfig();
    // One-based port number (not validated), base name "/dev/ttyS".
    explicit SerialConfig(std::int32_t port);
    // Port number and transmit/receive buffer lengths (not validated).
    SerialConfig(std::int32_t port, std::int32_t txLen, std::int32_t rxLen);
    // A port given by its device name (such as "COM3" or "/dev/ttyUSB0").
    explicit SerialConfig(const std::string& portName);
    explicit SerialConfig(const char* portName) : SerialConfig(std::string(portName)) {}

    // Field-by-field copy.
    SerialConfig clone() const { return *this; }

    // Base-name bytes used for numbered ports on Unix-like systems.
    std::string getBaseName() const { return baseName_; }
    // The stored bit rate: an index 0..14 or a literal rate above 30.
    std::int32_t getBitRate() const { return bitRate_; }
    // Index of `rate` in bitRateNumbers, or -1.
    std::int32_t getBitRateIndex(std::int32_t rate) const;
    // The stored rate itself when above 30, else bitRateNumbers[index];
    // throws std::out_of_range for an index outside 0..14.
    std::int32_t getBitRateNumber(std::int32_t index) const;
    std::int32_t getDataBits() const { return dataBits_; }
    std::int32_t getParity() const { return parity_; }
    std::int32_t getStopBits() const { return stopBits_; }
    std::int32_t getHandshake() const { return handshake_; }
    bool getFlowPriority() const { return flowPriority_; }
    bool getHardFlow() const { return hardFlow_; }
    // One-based port number, 0 when the port is given by name.
    std::int32_t getPort() const { return port_; }
    // Port name bytes as handed to the driver (one zero byte when no name was set).
    std::string getPortName() const { return portNameBytes_; }
    std::string getPortNameString() const { return portName_; }
    std::int32_t getRxLen() const { return rxLen_; }
    std::int32_t getTxLen() const { return txLen_; }
    // The OS name read when this configuration was made.
    std::string getOsName() const { return osName_; }
    // "9600 / NONE / 8 / 1 / NONE" style summary.
    std::string getSettingsString() const;

    void setBaseName(const std::string& name) { baseName_ = name; }
    // 0..921600: "Invalid Serial Port Bit Rate".
    void setBitRate(std::int32_t rate);
    // 0..3: "Invalid Serial Port Data Bits".
    void setDataBits(std::int32_t bits);
    // 0..4: "Invalid Serial Port Parity".
    void setParity(std::int32_t parity);
    // 0..1: "Invalid Serial Port Stop Bits".
    void setStopBits(std::int32_t bits);
    // 0..2, 3 on a few systems only, 16..240 split mode.
    void setHandshake(std::int32_t handshake);
    void setFlowPriority(bool value) { flowPriority_ = value; }
    void setHardFlow(bool value) { hardFlow_ = value; }
    // A source that sends its state over and over (a USB scale) hands on each repeat too, rather
    // than each change only.
    void setEveryReport(bool value) { everyReport_ = value; }
    bool getEveryReport() const { return everyReport_; }
    // Stores the name and its bytes; no validation.
    void setPortName(const std::string& name);
    // >= 0 (negative only on "EPOC"): "Invalid Port Number: <n>".
    void setPortNum(std::int32_t port);
    // Any value; at most 8192 on "EPOC".
    void setRxLen(std::int32_t len);
    void setTxLen(std::int32_t len);
    // True when the stored bit rate is an index 0..14.
    bool validBitRateIndex() const { return bitRate_ >= 0 && bitRate_ <= 14; }

    // The systems on which DSR-DTR handshaking (value 3) is offered.
    static bool hasDsrDtrHandshake(const std::string& osName);

private:
    std::int32_t port_ = 0;
    std::string portName_;
    std::string portNameBytes_ = std::string(1, '\0');
    std::string baseName_ = std::string(1, '\0');
    std::int32_t txLen_ = 4096;
    std::int32_t rxLen_ = 4096;
    std::int32_t bitRate_ = BR_9600;
    std::int32_t parity_ = PY_NONE;
    std::int32_t dataBits_ = LN_8BITS;
    std::int32_t stopBits_ = ST_1BITS;
    std::int32_t handshake_ = HS_NONE;
    std::string osName_;
    bool hardFlow_ = true;
    bool flowPriority_ = false;
    bool everyReport_ = false;
};

} // namespace Tarolink
