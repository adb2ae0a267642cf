#pragma once

#include "Tarolink/SerialDriver.h"

#include <map>
#include <memory>
#include <mutex>

namespace Tarolink {

struct NetworkPort;
struct UnansweredRequests;

// The serial driver for instruments on the network: "tcp://HOST:PORT" is a plain TCP
// connection whose bytes are the instrument's (serial settings and modem lines do not
// exist there), "rfc2217://HOST:PORT" speaks the Telnet COM-PORT option, which carries
// the settings, DTR/RTS/BREAK, purges and the CTS/DSR/RI/CD lines. A dropped connection
// (closed by the server, or a dead peer found by TCP keepalive within seconds) is a device
// that is gone. Per-byte parity and framing marks do not exist on the network.
// Port numbers start at kFirstPort, so that they never meet a local driver's.
class NetworkSerialDriver : public SerialDriver {
public:
    static constexpr int kFirstPort = 1 << 20;

    struct Timeouts {
        int connectMs = 3000;     // TCP connection
        int negotiationMs = 3000; // the server's agreement to the COM-PORT option
        int answerMs = 500;       // the server's answer to a request; once one goes
                                  // unanswered, that kind is not waited for again at
                                  // that address
    };

    explicit NetworkSerialDriver(Timeouts timeouts);
    NetworkSerialDriver();
    ~NetworkSerialDriver() override;

    std::string libraryName() const override { return "tlkNet"; }
    int SerGetLibVer() override { return 1; }
    int SerGetLastError() override;

    // Connects with the time limits; 0, NOT_VALID (a malformed name, said in a
    // diagnostic), UNKNOWN_HOST, REFUSED, NO_ANSWER, NOT_RFC2217 or OTHER_ERROR.
    int SerOpenPort(SerialConfig& config) override;
    int SerConfigure(const SerialConfig& config) override;
    int SerClosePort(int port) override;

    int SerGetData(int port, std::uint8_t* buffer, int count) override;
    int SerPutData(int port, const std::uint8_t* buffer, int count) override;
    int SerGetByte(int port) override;
    int SerPutByte(int port, std::uint8_t byte) override;

    int SerRxReadyCount(int port) override;
    int SerTxBufCount(int port) override;
    int SerRxFlush(int port) override;
    int SerTxFlush(int port) override;
    int SerTxDrain(int port) override;

    int SerRxOverflow(int port) override;
    int SerSigBreak(int port) override;
    int SerSigCD(int port) override;
    int SerSigCTS(int port) override;
    int SerSigDSR(int port) override;
    int SerSigFrameErr(int port) override;
    int SerSigOverrun(int port) override;
    int SerSigParityErr(int port) override;
    int SerSigRing(int port) override;

    int SerSetDTR(int port, bool on) override;
    int SerSetRTS(int port, bool on) override;
    int SerSendBreak(int port, int durationMs) override;

    int SerSetTimeoutRx(int port, int timeout) override;
    int SerSetTimeoutTx(int port, int timeout) override;
    int SerGetTimeoutRx(int port) override;
    int SerGetTimeoutTx(int port) override;

    // Network ports are named by the user, never discovered.
    int SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) override;

    int SerFlowTask(int port) override;
    int SerServerTask(SerialConfig&) override { return 0; }
    int SerRegisterDeviceNotification(std::function<void()>) override { return 0; }
    int SerUnregisterDeviceNotification() override { return 0; }

    std::string SerGetName(int port) override;
    std::string SerGetPortMfgr(int) override { return {}; }
    int SerResetPortDriver(const std::string&) override { return -1; }
    int SerGetPowerMode() override { return -1; }
    int SerSetPowerMode(int, int) override { return -1; }
    int SerGetStatusAPM() override { return -1; }
    int SerGetResumeState() override { return -1; }
    int SerGetInstanceLock(int) override { return -1; }
    int SerSetInstanceLock(int) override { return -1; }

    int SerWaitForData(int port, int timeoutMs) override;
    int SerWakeUp(int port) override;
    int SerIsGone(int port) override;

private:
    std::shared_ptr<NetworkPort> find(int port) const;
    template <typename Body> int withPort(int port, Body&& body, int notOpen = -1) const;
    int modemSignal(int port, int mask);
    int control(int port, std::uint8_t value);

    Timeouts timeouts_;
    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<NetworkPort>> ports_;
    std::map<std::string, std::shared_ptr<UnansweredRequests>> unanswered_; // by port name
    int next_ = kFirstPort;
};

} // namespace Tarolink
