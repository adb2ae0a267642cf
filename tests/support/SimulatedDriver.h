#pragma once

#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialDriver.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace Tarolink {

// A driver with no hardware, for testing the logic above the driver: ports that exist by
// name, received bytes fed by the test (optionally with parity/framing errors or a
// break), modem lines that answer (loopbacks RTS->CTS and DTR->DSR, or set by hand),
// read failures, a device that vanishes, another program holding a port, and forced
// results for open, configure, close and writes. Thread-safe.
class SimulatedDriver : public SerialDriver {
public:
    // Unreadable: the byte arrives, but asking for its error state fails (-1).
    enum class ByteError { None, Parity, Frame, Break, Unreadable };

    // Makes a port known under `name`, listed by SerGetPortList in the order added
    // (descriptions only when one of them is non-empty).
    void addPort(const std::string& name, const std::string& desc = "", const std::string& mfgr = "");
    // Bytes the instrument sends; optionally all flagged with one error.
    void receive(const std::string& name, const std::vector<std::uint8_t>& bytes,
                 ByteError error = ByteError::None);
    void receiveText(const std::string& name, const std::string& text) {
        receive(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    // Modem lines: loopbacks make CTS follow RTS and DSR follow DTR.
    void setLoopback(const std::string& name, bool rtsToCts, bool dtrToDsr);
    // Input lines driven directly (used when no loopback is set for that line).
    void setInputLines(const std::string& name, bool cts, bool dsr, bool cd, bool ring);
    // Reads fail with -1 while set.
    void setReadFailure(const std::string& name, bool fail);
    // The device disappears: the open port reports itself gone, opens fail with 1008.
    void vanish(const std::string& name);
    // Another program holds the port: opens fail with 1002.
    void setHeldElsewhere(const std::string& name, bool held);
    // At most `limit` bytes are accepted per write (-1: no limit; -2: writes fail).
    void setWriteLimit(const std::string& name, int limit);
    // Forced results: open code for one port name, configure/close results for all.
    void setOpenResult(const std::string& name, int code);
    void setConfigureResult(int code) {
        std::lock_guard l(mutex_);
        configureResult_ = code;
    }
    void setCloseResult(int code) {
        std::lock_guard l(mutex_);
        closeResult_ = code;
    }
    void setRxReadyCountResult(std::optional<int> r) {
        std::lock_guard l(mutex_);
        rxReadyCountResult_ = r;
    }
    // Everything written to the port so far.
    std::vector<std::uint8_t> sent(const std::string& name) const;
    bool rts(const std::string& name) const;
    bool dtr(const std::string& name) const;
    bool isOpen(const std::string& name) const;
    // The configuration the port was last configured with.
    std::optional<SerialConfig> lastConfig(const std::string& name) const;
    int configureCount() const {
        std::lock_guard l(mutex_);
        return configureCount_;
    }
    long flowRounds() const {
        std::lock_guard l(mutex_);
        return flowRounds_;
    }
    // Fires the registered device notification, as a udev event would (on a new thread).
    void announceDeviceChange();
    bool notificationRegistered() const {
        std::lock_guard l(mutex_);
        return static_cast<bool>(notify_);
    }

    std::string libraryName() const override { return "tlkSimulated"; }
    int SerGetLibVer() override { return 7; }
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
    int SerServerTask(SerialConfig&) override { return 0; }
    int SerRegisterDeviceNotification(std::function<void()> notify) override;
    int SerUnregisterDeviceNotification() override;
    std::string SerGetName(int port) override;
    std::string SerGetPortMfgr(int port) override;
    int SerResetPortDriver(const std::string&) override { return 0; }
    int SerGetPowerMode() override { return 0; }
    int SerSetPowerMode(int, int) override { return 0; }
    int SerGetStatusAPM() override { return 0; }
    int SerGetResumeState() override { return 0; }
    int SerGetInstanceLock(int) override { return 0; }
    int SerSetInstanceLock(int) override { return 0; }
    int SerWaitForData(int port, int timeoutMs) override;
    int SerWakeUp(int port) override;
    int SerIsGone(int port) override;

private:
    struct Device {
        std::string desc;
        std::string mfgr;
        std::deque<std::pair<std::uint8_t, ByteError>> rx;
        std::vector<std::uint8_t> sent;
        bool rts = false, dtr = false;
        bool loopRts = false, loopDtr = false;
        bool cts = false, dsr = false, cd = false, ring = false;
        bool readFails = false;
        bool vanished = false;
        bool held = false;
        int writeLimit = -1;
        int openResult = 0;
        int openAs = -1; // zero-based number while open
        ByteError last = ByteError::None;
        int timeoutRx = 0, timeoutTx = 0;
        bool wake = false;
        std::optional<SerialConfig> config;
    };
    Device* byPort(int port);
    const Device* byName(const std::string& name) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Device> devices_;
    std::vector<std::string> order_;
    int configureResult_ = 0;
    int closeResult_ = 0;
    std::optional<int> rxReadyCountResult_;
    int configureCount_ = 0;
    long flowRounds_ = 0;
    std::function<void()> notify_;
};

} // namespace Tarolink
