#pragma once

#include "Tarolink/PortDriverInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Tarolink {

class SerialConfig;

// The native serial driver: one implementation per platform (PosixSerialDriver on Linux),
// and the tests bring a simulated one. `port` is the zero-based number that SerOpenPort handed
// out; a number that is not open gives -1 (or 0 where the table below says "unchecked").
// Any thread may call; each implementation keeps its own per-port state safe.
class SerialDriver {
public:
    // Open codes returned by SerOpenPort.
    static constexpr int OK = 0;
    static constexpr int ALREADY_OPEN = 1000; // this process has the device open already
    static constexpr int IN_USE = 1002;       // another program holds it
    static constexpr int NOT_VALID = 1003;    // not a serial device, bad name
    static constexpr int NO_SUCH_FILE = 1004; // no such file
    static constexpr int OTHER_ERROR = 1005;  // any other failure
    static constexpr int PERMISSION = 1006;   // no permission
    static constexpr int BUSY = 1007;         // device busy
    static constexpr int NO_DEVICE = 1008;    // the device node has no device behind it
    // Network ports only.
    static constexpr int UNKNOWN_HOST = 1009;   // the host name does not resolve
    static constexpr int REFUSED = 1010;        // nothing listens at the address
    static constexpr int NO_ANSWER = 1011;      // no connection or negotiation in time
    static constexpr int NOT_RFC2217 = 1012;    // the server refused the COM-PORT option
    static constexpr int LOOKUP_TIMEOUT = 1013; // the host name lookup did not finish in time
    // HID scales only.
    static constexpr int NOT_A_SCALE = 1014; // the device is no scale this program understands

    // Answers of SerWaitForData.
    static constexpr int WAIT_TIMEOUT = 0;
    static constexpr int WAIT_DATA = 1;
    static constexpr int WAIT_WOKEN = 2;
    static constexpr int WAIT_GONE = 3;

    virtual ~SerialDriver() = default;

    // Library name and version.
    virtual std::string libraryName() const = 0;
    virtual int SerGetLibVer() = 0;

    // The errno of the system call behind the calling thread's most recent failed call of
    // this driver, 0 when that call succeeded or failed for no system reason (a port that
    // is not open, a bad argument). Ask it right after the failure, on the same thread.
    virtual int SerGetLastError() { return 0; }

    // Opens the device the configuration names (by name, else base name + number - 1)
    // and stores its one-based number in the configuration. 0 or a code 1000..1008.
    virtual int SerOpenPort(SerialConfig& config) = 0;
    // Applies the configuration to the port config.getPort() - 1; 0 on success.
    virtual int SerConfigure(const SerialConfig& config) = 0;
    // 0 on success.
    virtual int SerClosePort(int port) = 0;

    // Bytes moved, -1 on error. Reads never wait.
    virtual int SerGetData(int port, std::uint8_t* buffer, int count) = 0;
    virtual int SerPutData(int port, const std::uint8_t* buffer, int count) = 0;
    // The next byte 0..255, or -1 when none is waiting (or the port failed, see SerIsGone).
    virtual int SerGetByte(int port) = 0;
    // 0 on success.
    virtual int SerPutByte(int port, std::uint8_t byte) = 0;

    // Counts, -1 on error.
    virtual int SerRxReadyCount(int port) = 0;
    virtual int SerTxBufCount(int port) = 0;
    // -1 on error.
    virtual int SerRxFlush(int port) = 0;
    virtual int SerTxFlush(int port) = 0;
    virtual int SerTxDrain(int port) = 0;

    // Line and error states: 1 true, 0 false, -1 error. The error states describe the
    // byte most recently taken by SerGetByte/SerGetData.
    virtual int SerRxOverflow(int port) = 0;
    virtual int SerSigBreak(int port) = 0;
    virtual int SerSigCD(int port) = 0;
    virtual int SerSigCTS(int port) = 0;
    virtual int SerSigDSR(int port) = 0;
    virtual int SerSigFrameErr(int port) = 0;
    virtual int SerSigOverrun(int port) = 0;
    virtual int SerSigParityErr(int port) = 0;
    virtual int SerSigRing(int port) = 0;

    // -1 on error.
    virtual int SerSetDTR(int port, bool on) = 0;
    virtual int SerSetRTS(int port, bool on) = 0;
    virtual int SerSendBreak(int port, int durationMs) = 0;

    // Receive time-out in ms, transmit time-out in 1/100 ms; -1 on error; getters unchecked.
    virtual int SerSetTimeoutRx(int port, int timeout) = 0;
    virtual int SerSetTimeoutTx(int port, int timeout) = 0;
    virtual int SerGetTimeoutRx(int port) = 0;
    virtual int SerGetTimeoutTx(int port) = 0;

    // Port discovery: fills `names` (in the driver's order) and `info`; 0 on success.
    virtual int SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) = 0;

    // One round of software handshaking (only the "Windows 95" driver has work here).
    virtual int SerFlowTask(int port) = 0;
    // The server round of drivers that run one; 0.
    virtual int SerServerTask(SerialConfig& config) = 0;
    // Calls `notify` on a driver thread whenever a serial device arrives or goes away;
    // 0 on success. A second registration replaces the first.
    virtual int SerRegisterDeviceNotification(std::function<void()> notify) = 0;
    virtual int SerUnregisterDeviceNotification() = 0;

    // Passed-through operations; -1 where the platform has none.
    virtual std::string SerGetName(int port) = 0;
    virtual std::string SerGetPortMfgr(int port) = 0;
    virtual int SerResetPortDriver(const std::string& driverId) = 0;
    virtual int SerGetPowerMode() = 0;
    virtual int SerSetPowerMode(int mode, int flags) = 0;
    virtual int SerGetStatusAPM() = 0;
    virtual int SerGetResumeState() = 0;
    virtual int SerGetInstanceLock(int id) = 0;
    virtual int SerSetInstanceLock(int id) = 0;

    // Waiting for input (for a reader thread that should not spin):
    // blocks up to `timeoutMs` (< 0: no limit) until a byte can be taken (WAIT_DATA),
    // the time passes (WAIT_TIMEOUT), SerWakeUp is called (WAIT_WOKEN) or the device
    // is gone (WAIT_GONE); -1 when the port is not open.
    virtual int SerWaitForData(int port, int timeoutMs) = 0;
    // Ends a current SerWaitForData of that port at once, or the next one if none is
    // waiting. Safe from any thread; -1 when the port is not open.
    virtual int SerWakeUp(int port) = 0;
    // 1 once the device has hung up or failed (unplugged, I/O error) and every byte it
    // sent before has been taken; 0 while it works; -1 when the port is not open.
    virtual int SerIsGone(int port) = 0;
};

} // namespace Tarolink
