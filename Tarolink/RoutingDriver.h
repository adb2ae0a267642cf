#pragma once

#include "Tarolink/SerialDriver.h"

#include <memory>

namespace Tarolink {

// One driver in front of three: a port named "tcp://..." or "rfc2217://..." goes to the
// network driver, "hid:..." to the USB scale driver (when the program has one), every other
// name to the local one. Open ports are told apart by number (the network driver's start at
// NetworkSerialDriver::kFirstPort, the scale driver's at kFirstScalePort); discovery and device
// notifications are the local driver's and the scale driver's.
class RoutingDriver : public SerialDriver {
public:
    static constexpr int kFirstScalePort = 1 << 21;

    RoutingDriver(std::shared_ptr<SerialDriver> local, std::shared_ptr<SerialDriver> network,
                  std::shared_ptr<SerialDriver> scale = nullptr);

    // "hid:...": a USB scale, which has no device node of that name.
    static bool isScaleName(const std::string& name) { return name.rfind("hid:", 0) == 0; }

    std::string libraryName() const override { return local_->libraryName(); }
    int SerGetLibVer() override { return local_->SerGetLibVer(); }
    // The reason of the calling thread's last call, from the driver that made it.
    int SerGetLastError() override;

    int SerOpenPort(SerialConfig& config) override;
    int SerConfigure(const SerialConfig& config) override;
    int SerClosePort(int port) override { return at(port).SerClosePort(port); }

    int SerGetData(int port, std::uint8_t* buffer, int count) override {
        return at(port).SerGetData(port, buffer, count);
    }
    int SerPutData(int port, const std::uint8_t* buffer, int count) override {
        return at(port).SerPutData(port, buffer, count);
    }
    int SerGetByte(int port) override { return at(port).SerGetByte(port); }
    int SerPutByte(int port, std::uint8_t byte) override { return at(port).SerPutByte(port, byte); }

    int SerRxReadyCount(int port) override { return at(port).SerRxReadyCount(port); }
    int SerTxBufCount(int port) override { return at(port).SerTxBufCount(port); }
    int SerRxFlush(int port) override { return at(port).SerRxFlush(port); }
    int SerTxFlush(int port) override { return at(port).SerTxFlush(port); }
    int SerTxDrain(int port) override { return at(port).SerTxDrain(port); }

    int SerRxOverflow(int port) override { return at(port).SerRxOverflow(port); }
    int SerSigBreak(int port) override { return at(port).SerSigBreak(port); }
    int SerSigCD(int port) override { return at(port).SerSigCD(port); }
    int SerSigCTS(int port) override { return at(port).SerSigCTS(port); }
    int SerSigDSR(int port) override { return at(port).SerSigDSR(port); }
    int SerSigFrameErr(int port) override { return at(port).SerSigFrameErr(port); }
    int SerSigOverrun(int port) override { return at(port).SerSigOverrun(port); }
    int SerSigParityErr(int port) override { return at(port).SerSigParityErr(port); }
    int SerSigRing(int port) override { return at(port).SerSigRing(port); }

    int SerSetDTR(int port, bool on) override { return at(port).SerSetDTR(port, on); }
    int SerSetRTS(int port, bool on) override { return at(port).SerSetRTS(port, on); }
    int SerSendBreak(int port, int durationMs) override { return at(port).SerSendBreak(port, durationMs); }

    int SerSetTimeoutRx(int port, int timeout) override { return at(port).SerSetTimeoutRx(port, timeout); }
    int SerSetTimeoutTx(int port, int timeout) override { return at(port).SerSetTimeoutTx(port, timeout); }
    int SerGetTimeoutRx(int port) override { return at(port).SerGetTimeoutRx(port); }
    int SerGetTimeoutTx(int port) override { return at(port).SerGetTimeoutTx(port); }

    int SerGetPortList(std::vector<std::string>& names, std::vector<PortDriverInfo>& info) override;

    int SerFlowTask(int port) override { return at(port).SerFlowTask(port); }
    int SerServerTask(SerialConfig& config) override { return local(*local_).SerServerTask(config); }
    int SerRegisterDeviceNotification(std::function<void()> notify) override;
    int SerUnregisterDeviceNotification() override;

    std::string SerGetName(int port) override { return at(port).SerGetName(port); }
    std::string SerGetPortMfgr(int port) override { return at(port).SerGetPortMfgr(port); }
    int SerResetPortDriver(const std::string& driverId) override {
        return local(*local_).SerResetPortDriver(driverId);
    }
    int SerGetPowerMode() override { return local(*local_).SerGetPowerMode(); }
    int SerSetPowerMode(int mode, int flags) override { return local(*local_).SerSetPowerMode(mode, flags); }
    int SerGetStatusAPM() override { return local(*local_).SerGetStatusAPM(); }
    int SerGetResumeState() override { return local(*local_).SerGetResumeState(); }
    int SerGetInstanceLock(int id) override { return local(*local_).SerGetInstanceLock(id); }
    int SerSetInstanceLock(int id) override { return local(*local_).SerSetInstanceLock(id); }

    int SerWaitForData(int port, int timeoutMs) override { return at(port).SerWaitForData(port, timeoutMs); }
    int SerWakeUp(int port) override { return at(port).SerWakeUp(port); }
    int SerIsGone(int port) override { return at(port).SerIsGone(port); }

private:
    // The driver of `port`, remembered as the one whose last error counts on this thread.
    SerialDriver& at(int port);
    SerialDriver& local(SerialDriver& d);

    std::shared_ptr<SerialDriver> local_;
    std::shared_ptr<SerialDriver> network_;
    std::shared_ptr<SerialDriver> scale_;
};

} // namespace Tarolink
