#pragma once

#include "Tarolink/SerialDriver.h"
#include "Tarolink/UdevDeviceMonitor.h"
#include "hid/HidDevice.h"
#include "hid/HidrawListing.h"

#include <map>
#include <memory>
#include <mutex>

namespace tarovex::hid {

// The driver of "hid:" ports: a USB point-of-sale scale read as if it were a serial
// instrument. Each report that changes what the scale says becomes one line (ScaleLines);
// serial settings and modem lines do not exist and are ignored. An unplugged scale is a
// device that is gone. Port numbers start at RoutingDriver::kFirstScalePort.
class HidScaleDriver : public Tarolink::SerialDriver {
public:
    static constexpr const char* kZeroRequest = "Z";

    // Where devices come from: hidraw nodes and udev, or a test's.
    struct Access {
        HidOpener open;
        std::vector<HidScale> (*list)();
    };

    HidScaleDriver();
    explicit HidScaleDriver(Access access);
    ~HidScaleDriver() override;

    std::string libraryName() const override { return "tlkHid"; }
    int SerGetLibVer() override { return 1; }
    int SerGetLastError() override;

    // 0, NOT_VALID (a malformed name), NO_SUCH_FILE (no such scale plugged in), PERMISSION,
    // BUSY, NO_DEVICE, NOT_A_SCALE (said in a diagnostic, with the reason) or OTHER_ERROR.
    int SerOpenPort(Tarolink::SerialConfig& config) override;
    int SerConfigure(const Tarolink::SerialConfig& config) override;
    int SerClosePort(int port) override;

    int SerGetData(int port, std::uint8_t* buffer, int count) override;
    // A scale takes no bytes but kZeroRequest (a line end may follow), which sends its Zero
    // Scale control where it declares one; anything else fails with a diagnostic.
    int SerPutData(int port, const std::uint8_t* buffer, int count) override;
    int SerGetByte(int port) override;
    int SerPutByte(int port, std::uint8_t byte) override { return SerPutData(port, &byte, 1); }

    int SerRxReadyCount(int port) override;
    int SerTxBufCount(int port) override { return open(port) ? 0 : -1; }
    int SerRxFlush(int port) override;
    int SerTxFlush(int port) override { return open(port) ? 0 : -1; }
    int SerTxDrain(int port) override { return open(port) ? 0 : -1; }

    int SerRxOverflow(int port) override { return flag(port); }
    int SerSigBreak(int port) override { return flag(port); }
    int SerSigCD(int port) override { return flag(port); }
    int SerSigCTS(int port) override { return flag(port); }
    int SerSigDSR(int port) override { return flag(port); }
    int SerSigFrameErr(int port) override { return flag(port); }
    int SerSigOverrun(int port) override { return flag(port); }
    int SerSigParityErr(int port) override { return flag(port); }
    int SerSigRing(int port) override { return flag(port); }

    int SerSetDTR(int port, bool) override { return open(port) ? 0 : -1; }
    int SerSetRTS(int port, bool) override { return open(port) ? 0 : -1; }
    int SerSendBreak(int, int) override { return -1; }

    int SerSetTimeoutRx(int port, int) override { return open(port) ? 0 : -1; }
    int SerSetTimeoutTx(int port, int) override { return open(port) ? 0 : -1; }
    int SerGetTimeoutRx(int) override { return 0; }
    int SerGetTimeoutTx(int) override { return 0; }

    // The scales plugged in, by their stable names, with product and manufacturer.
    int SerGetPortList(std::vector<std::string>& names, std::vector<Tarolink::PortDriverInfo>& info) override;

    int SerFlowTask(int port) override { return open(port) ? 0 : -1; }
    int SerServerTask(Tarolink::SerialConfig&) override { return 0; }
    // hidraw nodes arriving and going away.
    int SerRegisterDeviceNotification(std::function<void()> notify) override;
    int SerUnregisterDeviceNotification() override;

    // The scale's hidraw node, for the log.
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
    struct Port;
    std::shared_ptr<Port> find(int port) const;
    bool open(int port) const { return find(port) != nullptr; }
    int flag(int port) const { return open(port) ? 0 : -1; }

    Access access_;
    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<Port>> ports_;
    // The scale last said to be missing: reconnecting asks five times a second, the log
    // hears it once until the scale is found.
    std::string missing_;
    int next_;
    Tarolink::UdevDeviceMonitor monitor_{"hidraw"};
};

// Makes "hid:" ports known to the serial library; call before its first use.
void installScaleDriver();

} // namespace tarovex::hid
