#pragma once

#include "Tarolink/PlatformFeatures.h"
#include "Tarolink/PortDriverInfo.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPort.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace Tarolink {

class DeviceNotificationCallback;
class ErrorStatusHandler;
class FlowControlTask;
class SerialDriver;
class SerialServerTask;

// The port of the serial library on the platform's native driver. Adds to the driver the
// open state, argument checks, capability checks by OS name, the process-wide port lock
// around open/close/configure/reset, and the fixed error texts.
//
// The port keeps its own copy of the configuration it was made with; getConfig() gives
// access to it (the port rewrites a literal bit rate to its index and clears the hard-flow
// flag there). The driver is loaded once per process on first use (see loadLibrary).
class SerialPortLocal : public SerialPort {
public:
    // Keeps a copy of `config` and opens the port; throws what open() throws.
    explicit SerialPortLocal(const SerialConfig& config);
    // A closed port on the default port name of this system.
    SerialPortLocal();
    // Closes the port if it is still open, ignoring a close failure.
    ~SerialPortLocal() override;
    SerialPortLocal(const SerialPortLocal&) = delete;
    SerialPortLocal& operator=(const SerialPortLocal&) = delete;

    void open() override;
    void close() override;
    void configure() override;
    // Applies `config` to this open port and keeps a copy of it as the port's configuration.
    void configure(SerialConfig& config) override;
    void reset() override;
    // Only with capability "supDriverInfo" and while closed; "Reset port driver failed: <n>".
    void resetPortDriver(const std::string& driverId);

    int getByte() override;
    int getData(std::span<std::uint8_t> buffer) override;
    // Throws PortArgumentException when offset/count do not fit the buffer.
    int getData(std::span<std::uint8_t> buffer, int offset, int count) override;
    void putByte(std::uint8_t byte) override;
    void putData(std::span<const std::uint8_t> data) override;
    void putData(std::span<const std::uint8_t> data, int count) override;
    void putData(std::span<const std::uint8_t> data, int offset, int count) override;
    void putString(const std::string& text) override;

    void rxFlush() override;
    void txFlush() override;
    void txDrain() override;
    int rxReadyCount() override;
    int txBufCount() override;

    bool rxOverflow() override;
    bool sigBreak() override;
    bool sigCD() override;
    bool sigCTS() override;
    bool sigDSR() override;
    bool sigFrameErr() override;
    bool sigOverrun() override;
    bool sigParityErr() override;
    bool sigRing() override;
    void setDTR(bool on) override;
    void setRTS(bool on) override;
    void sendBreak(int durationMs) override;

    void setTimeoutRx(int timeout) override;
    void setTimeoutTx(int timeout) override;
    int getTimeoutRx() override;
    int getTimeoutTx() override;

    WaitResult waitForData(int timeoutMs) override;
    void wakeUp() override;
    bool isDeviceGone() override;

    bool isOpen() const override { return open_; }
    bool isSupported(const std::string& capability) const override;

    SerialConfig& getConfig() override { return config_; }
    // On a closed port first gives `config` this port's number + 1; keeps a copy and makes
    // its port name the default port name.
    void setConfig(SerialConfig& config) override;
    int getBitRate() const override { return config_.getBitRate(); }
    int getDataBits() const override { return config_.getDataBits(); }
    int getParity() const override { return config_.getParity(); }
    int getStopBits() const override { return config_.getStopBits(); }
    int getHandshake() const override { return config_.getHandshake(); }
    void setBitRate(int value) override { config_.setBitRate(value); }
    void setDataBits(int value) override { config_.setDataBits(value); }
    void setParity(int value) override { config_.setParity(value); }
    void setStopBits(int value) override { config_.setStopBits(value); }
    void setHandshake(int value) override { config_.setHandshake(value); }
    std::string getPortName() const override;
    void setPortName(const std::string& name) override;
    int getPortNum() const override { return portNum_; }
    std::string getName() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }
    // The driver's name of a port: "Mac OS" drivers have one, and a USB scale's ("hid:" port)
    // is its hidraw node; "Not implemented" elsewhere.
    std::string getName(int port);
    int getLibVer();
    int getBuildNum() const { return buildNumber; }
    int getMaxBitRate() const;
    void setErrorStatusHandler(ErrorStatusHandler* handler) override { errorHandler_ = handler; }

    bool rdSinceRxBufCheck() const override { return readSinceRxBufCheck_; }
    void clearReadSinceRxBufCheck() override { readSinceRxBufCheck_ = false; }
    bool sendSinceTxBufEmpty() const override { return wrSinceTxBufEmpty_; }
    void clearSendSinceTxBufEmpty() override { wrSinceTxBufEmpty_ = false; }

    // The flow-control thread of this port, if one was started (only on "Windows 95").
    FlowControlTask* flowTask() const { return flowTask_.get(); }

    // --- Process-wide operations ---------------------------------------------------------

    static constexpr int buildNumber = 9233;
    // "Tarolink Library: version <the project's version>: build 9233".
    static std::string versionText();

    // Loads the driver for the OS name (property "TLK_OSNAME", else the running system)
    // once, telling what it does through the diagnostic handler (Diagnostics.h). An OS
    // name with no driver at all throws PlatformNotSupportedException, now and on every
    // later use of the library (programs exit with status -1 then); a driver that cannot
    // be loaded leaves isLibraryLoaded() false. Any thread.
    static void loadLibrary();
    // Forgets the loaded driver and the port lists, then loads again from the current
    // properties. For tests and for a changed "TLK_OSNAME".
    static void reloadLibrary();
    // Runs the capability setup from the current properties and uses `driver` instead of
    // loading one (tests bring a simulated one; an embedder may bring its own).
    static void installDriver(std::shared_ptr<SerialDriver> driver);
    static bool isLibraryLoaded();
    // The loaded driver, or null.
    static std::shared_ptr<SerialDriver> driver();
    // The OS name and features the library was set up with.
    static std::string getOsName();
    static PlatformFeatures features();
    static std::string getDefaultPortName();

    // The ports of the machine (property "SERIAL_PORT_LIST" when set, else the driver's
    // discovery; COM names in numeric order with the Windows driver).
    static std::vector<std::string> getPortList();
    // Adds a name unless the list holds it already (ignoring case).
    static void addPortName(const std::string& name);
    // Driver descriptions of the listed ports. Throws "Not supported on this platform" or
    // "Must call SerialPortLocal.getPortList method first".
    static std::vector<PortDriverInfo> getDriverInfoList();

    // Power and instance operations of drivers that have them; -1 (or nothing) elsewhere.
    static int getPowerMode();
    static void setPowerMode(int mode, int flags);
    static int getStatusAPM();
    static int getResumeState();
    static int getInstanceLock(int id);
    static int setInstanceLock(int id);

    // Keeps `callback` (not owned; must outlive its registration) and asks the driver to
    // report device arrival and removal to it.
    static void registerDeviceNotification(DeviceNotificationCallback* callback);
    static void unregisterDeviceNotification();
    // Called by the driver on its own thread: passes a diagnostic line and calls the kept
    // callback.
    static void deviceNotification();

private:
    SerialDriver& drv() const;
    // Throws the I/O error `text` with the system error behind the driver call just made.
    [[noreturn]] void driverFailure(const std::string& text) const;
    void requireOpen(const char* operation) const;
    void requireCapability(bool flag, const std::string& operation) const;
    bool lineState(bool flag, const char* operation, int (SerialDriver::*query)(int), bool failOnError,
                   bool testCapability = true);
    void sendAll(const std::uint8_t* data, int count, const std::string& prefix);
    void setTimeoutsAfterOpen();
    void serverTaskCheck();
    void stopFlowTask(bool forget);

    ErrorStatusHandler* errorHandler_ = nullptr;
    std::atomic<int> portNum_{-1}; // read by wakeUp() from other threads
    std::string name_ = "Serial Port";
    SerialConfig config_;
    std::unique_ptr<FlowControlTask> flowTask_;
    std::unique_ptr<SerialServerTask> serverTask_;
    // The driver this port works with, taken when it is made or opened: an open port stays
    // with the driver that opened it. Also spares the reads a process-wide lookup.
    std::shared_ptr<SerialDriver> driver_;
    // The capability setup in force when the port was made or opened (asked per byte).
    PlatformFeatures caps_;
    bool open_ = false;
    bool wrSinceTxBufEmpty_ = false;
    bool readSinceRxBufCheck_ = false;
    std::string osName_;
};

} // namespace Tarolink
