#pragma once

#include "Tarolink/SerialDriver.h"
#include "Tarolink/UdevDeviceMonitor.h"

#include <map>
#include <memory>
#include <mutex>

namespace Tarolink {

class PosixSyscalls;
struct PosixPort;

// The serial driver on termios: raw mode, non-blocking reads served from the driver's own
// buffer, parity/framing/break detection through PARMRK marks, exclusive opens (TIOCEXCL
// and a flock, so root is refused too), modem lines kept in software where a
// pseudo-terminal refuses them, and a wait that a second thread can cut short.
// Every system call goes through PosixSyscalls.
class PosixSerialDriver : public SerialDriver {
public:
    explicit PosixSerialDriver(PosixSyscalls& sys);
    PosixSerialDriver();
    ~PosixSerialDriver() override;

    // The one translation of errno into the driver's open and configure codes (1002..1008).
    static int codeForErrno(int err);

    std::string libraryName() const override { return "tlkPosix"; }
    int SerGetLibVer() override { return 1; }
    int SerGetLastError() override;

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

    int SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) override;

    int SerFlowTask(int port) override;
    int SerServerTask(SerialConfig& config) override;
    int SerRegisterDeviceNotification(std::function<void()> notify) override;
    int SerUnregisterDeviceNotification() override;

    std::string SerGetName(int port) override;
    std::string SerGetPortMfgr(int port) override;
    int SerResetPortDriver(const std::string& driverId) override;
    int SerGetPowerMode() override { return -1; }
    int SerSetPowerMode(int, int) override { return -1; }
    int SerGetStatusAPM() override { return -1; }
    int SerGetResumeState() override { return -1; }
    int SerGetInstanceLock(int) override { return -1; }
    int SerSetInstanceLock(int) override { return -1; }

    int SerWaitForData(int port, int timeoutMs) override;
    int SerWakeUp(int port) override;
    int SerIsGone(int port) override;

    // The device path of an open port ("" when not open).
    std::string devicePath(int port) const;
    // Entries the driver's receive buffer holds, taken or not (0 when not open): at most
    // what was waiting plus one block read. For diagnostics.
    std::size_t rxBufferEntries(int port) const;

private:
    std::shared_ptr<PosixPort> find(int port) const;
    // The one "is this port open" check of every per-port call: runs `body` on the port,
    // or returns `notOpen`. Clears the calling thread's last system error first.
    template <typename Body> int withPort(int port, Body&& body, int notOpen = -1) const;
    int fill(PosixPort& p);
    int modemBits(PosixPort& p, int& bits);
    // 1 when the modem line of `mask` is on, 0 when off, -1 on failure.
    int modemSignal(int port, int mask);
    int setModemBit(PosixPort& p, int bit, bool on);
    int errorOfLastByte(int port, int kind);
    bool checkHangUp(PosixPort& p);

    PosixSyscalls& sys_;
    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<PosixPort>> ports_;
    UdevDeviceMonitor monitor_;
};

} // namespace Tarolink
