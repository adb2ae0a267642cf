#include "Tarolink/SerialPortLocal.h"

#include "Tarolink/DeviceNotificationCallback.h"
#include "Tarolink/Diagnostics.h"
#include "Tarolink/DriverRegistry.h"
#include "Tarolink/ErrorStatusHandler.h"
#include "Tarolink/FlowControlTask.h"
#include "Tarolink/NativeHandleMutex.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/OsInfo.h"
#include "Tarolink/PortNameOrder.h"
#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SerialDriver.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialServerTask.h"
#include "Tarolink/SystemProperties.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <regex>
#include <thread>

namespace Tarolink {

namespace {

// Everything the library keeps once per process.
struct Library {
    std::recursive_mutex mutex;
    bool initialised = false;
    std::string osName;
    std::string osArch;
    PlatformFeatures features;
    std::shared_ptr<SerialDriver> driver;
    std::string defaultPortName;
    std::vector<std::string> portNameList;
    std::vector<std::string> portNameArray;
    std::vector<int> portNumberList;
    std::vector<PortDriverInfo> driverInfoList;
    DeviceNotificationCallback* callback = nullptr;
};

// The process-wide port lock for an open. A network open waits seconds for its server and its
// driver guards itself: it must not hold up the opens and closes of every other port meanwhile.
std::unique_lock<NativeHandleMutex> openLock(const SerialConfig& config) {
    std::unique_lock lock(NativeHandleMutex::getInstance(), std::defer_lock);
    if (!NetworkAddress::isNetworkName(config.getPortNameString()))
        lock.lock();
    return lock;
}

Library& lib() {
    // Never destroyed: an abandoned open may still be inside the library, on a thread of its
    // own, while the process exits.
    static Library* const instance = new Library;
    return *instance;
}

// The capability setup, from the properties as they are now.
void setUp(Library& l) {
    l.osName = OsInfo::effectiveName();
    l.osArch = OsInfo::effectiveArch();
    l.features = PlatformFeatures::forOsName(l.osName, SystemProperties::get("java.version", ""));
    l.defaultPortName = l.features.defaultPortName;
    l.portNameList.clear();
    l.portNameArray.clear();
    l.portNumberList.clear();
    l.driverInfoList.clear();
}

void load(Library& l) {
    diagnostic(SerialPortLocal::versionText());
    diagnostic("Tarolink serial port library");
    diagnostic("os.name=" + OsInfo::systemName() + " os.arch=" + OsInfo::systemArch());
    setUp(l);
    const std::string name = l.features.libraryName;
    if (name.empty()) {
        // Left uninitialised: every later use of the library fails the same way.
        diagnostic("osName=" + l.osName + " osArch=" + l.osArch);
        throw PlatformNotSupportedException();
    }
    std::string error;
    l.driver = DriverRegistry::load(name, error);
    if (l.driver) {
        diagnostic("SerialPort class loaded: " + name);
    } else if (l.osName == "Windows 7") {
        diagnostic(error + ": Native library load failed " + name + " trying user's folder");
        const std::string home = SystemProperties::get("HOME", "");
        l.driver = DriverRegistry::load(home + "\\" + name + ".dll", error);
        if (l.driver)
            diagnostic("SerialPort class loaded users: " + name);
        else
            diagnostic(error + ": Check that native library " + name + " is in proper directory");
    } else {
        diagnostic(error + ": Check that native library " + name + " is in proper directory");
    }
    l.initialised = true;
}

Library& loaded() {
    Library& l = lib();
    std::lock_guard lock(l.mutex);
    if (!l.initialised)
        load(l);
    return l;
}

// The fixed texts of the open codes; an unknown code shows its number.
std::string openFailureText(int code) {
    switch (code) {
    case SerialDriver::ALREADY_OPEN:
        return "Port is already open";
    case SerialDriver::IN_USE:
        return "Port is in use";
    case SerialDriver::NOT_VALID:
        return "Port not valid";
    case SerialDriver::NO_SUCH_FILE:
        return "2: No such device"; // sic: errno 2 is "no such file"; the text is fixed
    case SerialDriver::PERMISSION:
        return "Permission denied";
    case SerialDriver::BUSY:
        return "Device busy";
    case SerialDriver::NO_DEVICE:
        return "19: No such device";
    case SerialDriver::UNKNOWN_HOST:
        return "Host not found";
    case SerialDriver::REFUSED:
        return "Connection refused";
    case SerialDriver::NO_ANSWER:
        return "No answer in time";
    case SerialDriver::NOT_RFC2217:
        return "The server does not offer the COM-PORT option";
    case SerialDriver::LOOKUP_TIMEOUT:
        return "The host name lookup did not finish in time";
    case SerialDriver::NOT_A_SCALE:
        return "Not a USB scale this program understands";
    default:
        return ": " + std::to_string(code);
    }
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// Where the name starting at `start` of a port list ends: at the next ";" or ":", except
// that a network name ("tcp://HOST:PORT", "[::1]" hosts too) keeps its own colons.
std::size_t pieceEnd(const std::string& list, std::size_t start) {
    std::size_t from = start;
    const std::size_t scheme = list.find("://", start);
    if (scheme != std::string::npos && list.find_first_of(";:", start) == scheme &&
        NetworkAddress::isNetworkName(list.substr(start, scheme + 3 - start))) {
        from = scheme + 3;
        if (from < list.size() && list[from] == '[')
            from = std::min(list.find(']', from), list.size());
        from = list.find_first_of(";:", from);
        if (from != std::string::npos && list[from] == ':')
            ++from; // the separator is the first one after the port
    }
    return list.find_first_of(";:", std::min(from, list.size()));
}

std::string trimControls(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

// --- Process-wide ----------------------------------------------------------------------

std::string SerialPortLocal::versionText() {
    return std::string("Tarolink Library: version ") + TAROLINK_VERSION + ": build " +
           std::to_string(buildNumber);
}

void SerialPortLocal::loadLibrary() {
    loaded();
}

void SerialPortLocal::reloadLibrary() {
    Library& l = lib();
    std::lock_guard lock(l.mutex);
    l.driver.reset();
    l.initialised = false;
    load(l);
}

void SerialPortLocal::installDriver(std::shared_ptr<SerialDriver> driver) {
    Library& l = lib();
    std::lock_guard lock(l.mutex);
    setUp(l);
    l.driver = std::move(driver);
    l.initialised = true;
}

bool SerialPortLocal::isLibraryLoaded() {
    return loaded().driver != nullptr;
}

std::shared_ptr<SerialDriver> SerialPortLocal::driver() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    return l.driver;
}

std::string SerialPortLocal::getOsName() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    return l.osName;
}

PlatformFeatures SerialPortLocal::features() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    return l.features;
}

std::string SerialPortLocal::getDefaultPortName() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    return l.defaultPortName;
}

std::vector<std::string> SerialPortLocal::getPortList() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    const std::string fromProperty = trimControls(SystemProperties::get("SERIAL_PORT_LIST", ""));
    if (fromProperty.size() > 4) {
        std::size_t start = 0;
        while (start <= fromProperty.size()) {
            const std::size_t end = pieceEnd(fromProperty, start);
            const std::string piece =
                fromProperty.substr(start, end == std::string::npos ? std::string::npos : end - start);
            // A second call must not list every name twice, and "a;;b" has no empty port.
            if (!piece.empty() &&
                std::none_of(l.portNameList.begin(), l.portNameList.end(),
                             [&](const std::string& n) { return equalsIgnoreCase(n, piece); }))
                l.portNameList.push_back(piece);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return l.portNameList;
    }
    if (l.features.getPortList && l.driver) {
        std::vector<std::string> names;
        names.reserve(10);
        l.driverInfoList.clear();
        l.driver->SerGetPortList(names, l.driverInfoList);
        l.portNameArray = names;
        l.portNumberList.clear();
        static const std::regex comPattern("COM[0-9]{1,9}");
        for (const auto& n : names)
            if (std::regex_match(n, comPattern))
                l.portNumberList.push_back(std::stoi(n.substr(3)));
        l.portNameList = l.features.windowsPortNames ? reorderComNames(names) : names;
        return l.portNameList;
    }
    if (!l.portNameList.empty()) {
        diagnostic("getPortList: using list created with addPortName");
        return l.portNameList;
    }
    for (const char* line :
         {"getPortList: port discovery not currently supported on this platform.",
          "Options:", "A) addPortName can be used to build a list of device names ",
          "B) java -DSERIAL_PORT_LIST=COM1;COM2;COM3", "or java -DSERIAL_PORT_LIST=/dev/ttyS0:/dev/ttyS1"})
        diagnostic(line);
    return l.portNameList;
}

void SerialPortLocal::addPortName(const std::string& name) {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    if (std::none_of(l.portNameList.begin(), l.portNameList.end(),
                     [&](const std::string& n) { return equalsIgnoreCase(n, name); }))
        l.portNameList.push_back(name);
}

std::vector<PortDriverInfo> SerialPortLocal::getDriverInfoList() {
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    if (!l.features.supDriverInfo)
        throw PortIOException("Not supported on this platform");
    if (l.portNameList.empty())
        throw PortIOException("Must call SerialPortLocal.getPortList method first");
    return l.driverInfoList;
}

int SerialPortLocal::getPowerMode() {
    Library& l = loaded();
    if (!l.features.setPowerMode || !l.driver)
        return -1;
    int r;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        r = l.driver->SerGetPowerMode();
    }
    if (r >= 5000)
        throw PortIOException("getPowerMode failed: " + std::to_string(r));
    return r;
}

void SerialPortLocal::setPowerMode(int mode, int flags) {
    Library& l = loaded();
    if (!l.features.setPowerMode || !l.driver)
        return;
    int r;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        r = l.driver->SerSetPowerMode(mode, flags);
    }
    if (r != 0)
        throw PortIOException("setPowerMode failed: " + std::to_string(r));
}

int SerialPortLocal::getStatusAPM() {
    Library& l = loaded();
    return (l.features.getStatusAPM && l.driver) ? l.driver->SerGetStatusAPM() : -1;
}

int SerialPortLocal::getResumeState() {
    Library& l = loaded();
    return (l.features.getStatusAPM && l.driver) ? l.driver->SerGetResumeState() : -1;
}

int SerialPortLocal::getInstanceLock(int id) {
    Library& l = loaded();
    return (l.features.instanceLock && l.driver) ? l.driver->SerGetInstanceLock(id) : -1;
}

int SerialPortLocal::setInstanceLock(int id) {
    Library& l = loaded();
    return (l.features.instanceLock && l.driver) ? l.driver->SerSetInstanceLock(id) : -1;
}

void SerialPortLocal::registerDeviceNotification(DeviceNotificationCallback* callback) {
    Library& l = loaded();
    std::shared_ptr<SerialDriver> d;
    bool hadOne;
    {
        std::lock_guard lock(l.mutex);
        d = l.driver;
        hadOne = l.callback != nullptr;
        l.callback = callback;
    }
    if (!d)
        return;
    // Outside the lock: unregistering waits for the notification thread, which may be
    // waiting for the lock in deviceNotification().
    if (hadOne)
        d->SerUnregisterDeviceNotification();
    d->SerRegisterDeviceNotification([] { SerialPortLocal::deviceNotification(); });
}

void SerialPortLocal::unregisterDeviceNotification() {
    Library& l = loaded();
    std::shared_ptr<SerialDriver> d;
    {
        std::lock_guard lock(l.mutex);
        d = l.driver;
        l.callback = nullptr;
    }
    // Outside the lock: stopping waits for the notification thread, which takes the lock.
    if (d)
        d->SerUnregisterDeviceNotification();
}

void SerialPortLocal::deviceNotification() {
    diagnostic("Tarolink.deviceNotification");
    Library& l = lib();
    DeviceNotificationCallback* cb;
    {
        std::lock_guard lock(l.mutex);
        cb = l.callback;
    }
    if (cb)
        cb->deviceNotification();
}

// --- Port object -----------------------------------------------------------------------

SerialPortLocal::SerialPortLocal(const SerialConfig& config) : config_(config) {
    loadLibrary();
    driver_ = driver();
    caps_ = features();
    osName_ = OsInfo::effectiveName();
    open();
}

SerialPortLocal::SerialPortLocal() : config_("") {
    loadLibrary();
    driver_ = driver();
    caps_ = features();
    osName_ = OsInfo::effectiveName();
    config_ = SerialConfig(getDefaultPortName());
}

SerialPortLocal::~SerialPortLocal() {
    try {
        close();
    } catch (const std::exception&) {
        // A destructor cannot report; the port is closed either way.
    }
}

SerialDriver& SerialPortLocal::drv() const {
    if (driver_)
        return *driver_;
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    throw PortIOException("Native library " + l.features.libraryName + " not loaded");
}

void SerialPortLocal::driverFailure(const std::string& text) const {
    // Asked at once, on this thread: the driver keeps the reason per thread, per call.
    throw PortIOException(text, drv().SerGetLastError());
}

void SerialPortLocal::requireOpen(const char* operation) const {
    if (portNum_ < 0)
        throw PortIOException(std::string(operation) + ": Port not open");
}

void SerialPortLocal::requireCapability(bool flag, const std::string& operation) const {
    if (!flag)
        throw PortIOException(operation + " not supported on " + getOsName());
}

bool SerialPortLocal::isSupported(const std::string& capability) const {
    return caps_.isSupported(capability);
}

int SerialPortLocal::getMaxBitRate() const {
    return caps_.maxBitRate;
}

void SerialPortLocal::serverTaskCheck() {
    if (getOsName() != "EPOC")
        return;
    if (!serverTask_ || !serverTask_->isRunning()) {
        serverTask_ = std::make_unique<SerialServerTask>(driver(), config_);
        serverTask_->start();
    }
    // The server thread reports the port it opened through the configuration.
    for (int waited = 0; config_.getPort() == 0; waited += 100) {
        if (!serverTask_->isRunning() && serverTask_->result() != 0)
            throw PortIOException("srvTaskCheck: server task failed: " +
                                  std::to_string(serverTask_->result()));
        if (waited >= 10000)
            throw PortIOException("srvTaskCheck: server task did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void SerialPortLocal::open() {
    if (!open_) {
        driver_ = driver();
        caps_ = features();
    }
    if (getOsName() != "Windows 95")
        config_.setHardFlow(false);
    serverTaskCheck();
    SerialDriver& d = drv();
    int result;
    {
        const auto lock = openLock(config_);
        result = d.SerOpenPort(config_);
    }
    if (result != 0) {
        const int systemError = d.SerGetLastError();
        throw PortIOException(config_.getPortNameString() +
                                  ": SerOpenPort failed: " + openFailureText(result),
                              systemError, result);
    }
    open_ = true;
    wrSinceTxBufEmpty_ = false;
    readSinceRxBufCheck_ = false;
    portNum_ = config_.getPort() - 1;
    try {
        configure(config_);
        setTimeoutsAfterOpen();
    } catch (...) {
        // A port that could not be set up is not handed out half open.
        try {
            close();
        } catch (const std::exception&) {
        }
        throw;
    }
}

void SerialPortLocal::setTimeoutsAfterOpen() {
    if (getOsName() == "Mac OS") {
        setTimeoutRx(2000);
        setTimeoutTx(2000);
        return;
    }
    setTimeoutRx(0);
    if (caps_.setTimeoutTx) {
        // Time to send the whole transmit buffer, in 1/100 ms. 64-bit so large buffers at
        // slow rates do not wrap around.
        const long long rate = config_.getBitRateNumber(config_.getBitRate());
        const long long perByte = 1000000LL / (rate / 10);
        const long long timeout = 100LL * ((static_cast<long long>(config_.getTxLen()) * perByte) / 1000LL);
        setTimeoutTx(static_cast<int>(std::min<long long>(timeout, INT_MAX)));
    }
}

void SerialPortLocal::stopFlowTask(bool forget) {
    if (!flowTask_)
        return;
    flowTask_->abortRequest();
    if (forget)
        flowTask_.reset();
}

void SerialPortLocal::close() {
    wrSinceTxBufEmpty_ = false;
    readSinceRxBufCheck_ = false;
    stopFlowTask(false);
    if (!open_)
        return;
    open_ = false;
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = drv().SerClosePort(portNum_);
    }
    portNum_ = -1;
    if (result != 0)
        driverFailure("ClosePort failed");
}

void SerialPortLocal::configure() {
    configure(config_);
}

void SerialPortLocal::configure(SerialConfig& config) {
    if (!open_)
        throw PortIOException("configure: Port is not open");
    stopFlowTask(true);
    const PlatformFeatures& f = caps_;
    if (!f.noIndexBitRate) {
        const int index = config.getBitRateIndex(config.getBitRate());
        if (index >= 0)
            config.setBitRate(index);
        else if (!config.validBitRateIndex())
            throw PortIOException("Unsupported Serial Port Bit Rate");
    }
    if (!f.parityMarkSpace && config.getParity() > SerialConfig::PY_EVEN)
        throw PortIOException("Unsupported Mark/Space parity");
    // A configuration made elsewhere does not know which device this port is.
    if (config.getPort() != portNum_ + 1)
        config.setPortNum(portNum_ + 1);
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = drv().SerConfigure(config);
    }
    if (result != 0)
        driverFailure("Configure failed: " + std::to_string(result));
    if (&config != &config_)
        config_ = config;
    if (config_.getHardFlow() && getOsName() == "Windows 95" &&
        (config_.getHandshake() == SerialConfig::HS_CTSRTS ||
         config_.getHandshake() == SerialConfig::HS_DSRDTR) &&
        !flowTask_) {
        flowTask_ = std::make_unique<FlowControlTask>(driver(), portNum_);
        flowTask_->start();
    }
}

void SerialPortLocal::reset() {
    if (!open_)
        throw PortIOException("reset: Port is not open");
    const bool withTx = caps_.setTimeoutTx;
    const int timeoutTx = withTx ? getTimeoutTx() : 0;
    close();
    serverTaskCheck();
    SerialDriver& d = drv();
    int result;
    {
        const auto lock = openLock(config_);
        result = d.SerOpenPort(config_);
    }
    if (result != 0 && (getOsName() == "Solaris" || getOsName() == "SunOS")) {
        for (int waited = 0; waited < 3000 && result == 16; waited += 500) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::lock_guard lock(NativeHandleMutex::getInstance());
            result = d.SerOpenPort(config_);
        }
    }
    if (result != 0)
        driverFailure("reset: SerOpenPort failed: " + std::to_string(result));
    open_ = true;
    portNum_ = config_.getPort() - 1;
    if (withTx)
        setTimeoutTx(timeoutTx);
    configure();
}

void SerialPortLocal::resetPortDriver(const std::string& driverId) {
    requireCapability(caps_.supDriverInfo, "resetPortDriver");
    if (open_)
        throw PortIOException("resetPortDriver: Port must be closed");
    int result;
    {
        std::lock_guard lock(NativeHandleMutex::getInstance());
        result = drv().SerResetPortDriver(driverId);
    }
    if (result != 0)
        driverFailure("Reset port driver failed: " + std::to_string(result));
}

int SerialPortLocal::getByte() {
    SerialDriver& d = drv();
    if (caps_.pollingReadTimeout) {
        const int timeout = d.SerGetTimeoutRx(portNum_);
        if (timeout > 0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
            while (d.SerRxReadyCount(portNum_) < 1) {
                if (std::chrono::steady_clock::now() >= end) {
                    readSinceRxBufCheck_ = true;
                    return -1;
                }
                std::this_thread::yield();
            }
        }
    }
    readSinceRxBufCheck_ = true;
    return d.SerGetByte(portNum_);
}

int SerialPortLocal::getData(std::span<std::uint8_t> buffer) {
    const int n = getData(buffer, 0, static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX)));
    readSinceRxBufCheck_ = true;
    return n;
}

int SerialPortLocal::getData(std::span<std::uint8_t> buffer, int offset, int count) {
    const long long size = static_cast<long long>(buffer.size());
    if (count > size)
        count = static_cast<int>(size);
    // The slice must fit behind the offset; the driver must never write past the buffer.
    if (offset < 0 || count < 0 || offset + static_cast<long long>(count) > size)
        throw PortArgumentException("getData: offset " + std::to_string(offset) + " and count " +
                                    std::to_string(count) + " out of bounds for length " +
                                    std::to_string(size));
    SerialDriver& d = drv();
    if (caps_.pollingReadTimeout) {
        const int timeout = d.SerGetTimeoutRx(portNum_);
        if (timeout > 0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
            while (d.SerRxReadyCount(portNum_) < count) {
                if (std::chrono::steady_clock::now() >= end)
                    return 0;
                std::this_thread::yield();
            }
        }
    }
    const int result = d.SerGetData(portNum_, buffer.data() + offset, count);
    readSinceRxBufCheck_ = true;
    if (result == -1)
        driverFailure("getData: failed");
    return result;
}

void SerialPortLocal::putByte(std::uint8_t byte) {
    const int result = drv().SerPutByte(portNum_, byte);
    wrSinceTxBufEmpty_ = true;
    if (result != 0)
        driverFailure("PutByte failed: " + std::to_string(result));
}

void SerialPortLocal::sendAll(const std::uint8_t* data, int count, const std::string& prefix) {
    const int sent = drv().SerPutData(portNum_, data, count);
    wrSinceTxBufEmpty_ = true;
    if (sent != count)
        driverFailure(prefix + std::to_string(sent) + " of " + std::to_string(count) + " bytes");
}

void SerialPortLocal::putData(std::span<const std::uint8_t> data) {
    if (data.empty())
        return;
    sendAll(data.data(), static_cast<int>(data.size()), "PutData1: Sent only ");
}

void SerialPortLocal::putData(std::span<const std::uint8_t> data, int count) {
    if (count < 0 || static_cast<std::size_t>(count) > data.size())
        throw PortIOException("putData: count out of bounds");
    sendAll(data.data(), count, "PutData2: Sent only ");
}

void SerialPortLocal::putData(std::span<const std::uint8_t> data, int offset, int count) {
    if (offset < 0 || count < 0 ||
        static_cast<std::size_t>(offset) + static_cast<std::size_t>(count) > data.size())
        throw PortIOException("putData3: count out of bounds");
    sendAll(data.data() + offset, count, "putData3: Sent only ");
}

void SerialPortLocal::putString(const std::string& text) {
    if (text.empty())
        return;
    sendAll(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()),
            "PutString: sent only ");
}

void SerialPortLocal::rxFlush() {
    if (drv().SerRxFlush(portNum_) == -1)
        driverFailure("rxFlush failed");
}

void SerialPortLocal::txFlush() {
    if (drv().SerTxFlush(portNum_) == -1)
        driverFailure("txFlush failed");
}

void SerialPortLocal::txDrain() {
    if (drv().SerTxDrain(portNum_) == -1)
        driverFailure("txDrain failed");
}

int SerialPortLocal::rxReadyCount() {
    requireCapability(caps_.rxReadyCount, "rxReadyCount");
    const int result = drv().SerRxReadyCount(portNum_);
    if (result == -1) {
        if (errorHandler_ != nullptr) {
            errorHandler_->errorEvent(10);
            return -1;
        }
        driverFailure("rxReadyCount failed");
    }
    return result;
}

int SerialPortLocal::txBufCount() {
    requireCapability(caps_.txBufCount, "txBufCount");
    requireOpen("txBufCount");
    const int result = drv().SerTxBufCount(portNum_);
    if (result == -1)
        driverFailure("txBufCount failed");
    return result;
}

bool SerialPortLocal::lineState(bool flag, const char* operation, int (SerialDriver::*query)(int),
                                bool failOnError, bool testCapability) {
    if (testCapability)
        requireCapability(flag, operation);
    requireOpen(operation);
    const int result = (drv().*query)(portNum_);
    if (failOnError && result == -1)
        driverFailure(std::string(operation) + " failed");
    return result == 1;
}

bool SerialPortLocal::rxOverflow() {
    return lineState(caps_.rxOverflow, "rxOverflow", &SerialDriver::SerRxOverflow, true);
}
bool SerialPortLocal::sigCD() {
    return lineState(caps_.sigCD, "sigCD", &SerialDriver::SerSigCD, true);
}
bool SerialPortLocal::sigFrameErr() {
    return lineState(caps_.sigFrameErr, "sigFrameErr", &SerialDriver::SerSigFrameErr, true);
}
bool SerialPortLocal::sigOverrun() {
    return lineState(caps_.sigOverrun, "sigOverrun", &SerialDriver::SerSigOverrun, true);
}
bool SerialPortLocal::sigCTS() {
    return lineState(true, "sigCTS", &SerialDriver::SerSigCTS, true, false);
}
bool SerialPortLocal::sigDSR() {
    return lineState(true, "sigDSR", &SerialDriver::SerSigDSR, true, false);
}
bool SerialPortLocal::sigBreak() {
    return lineState(caps_.sigBreak, "sigBreak", &SerialDriver::SerSigBreak, false);
}
bool SerialPortLocal::sigParityErr() {
    return lineState(caps_.sigParityErr, "sigParityErr", &SerialDriver::SerSigParityErr, false);
}
bool SerialPortLocal::sigRing() {
    return lineState(caps_.sigRing, "sigRing", &SerialDriver::SerSigRing, false);
}

void SerialPortLocal::setDTR(bool on) {
    requireCapability(caps_.setDTR, "setDTR");
    requireOpen("setDTR");
    if (drv().SerSetDTR(portNum_, on) == -1)
        driverFailure("setDTR failed");
}

void SerialPortLocal::setRTS(bool on) {
    requireCapability(caps_.setRTS, "setRts");
    requireOpen("setRTS");
    if (drv().SerSetRTS(portNum_, on) == -1)
        driverFailure("setRTS failed");
}

void SerialPortLocal::sendBreak(int durationMs) {
    requireCapability(caps_.sendBreak, "sendBreak");
    requireOpen("sendBreak");
    if (drv().SerSendBreak(portNum_, durationMs) == -1)
        driverFailure("sendBreak failed");
}

void SerialPortLocal::setTimeoutRx(int timeout) {
    if (drv().SerSetTimeoutRx(portNum_, timeout) == -1)
        driverFailure("setTimeoutRx failed");
}

void SerialPortLocal::setTimeoutTx(int timeout) {
    if (drv().SerSetTimeoutTx(portNum_, timeout) == -1)
        driverFailure("setTimeoutTx failed");
}

int SerialPortLocal::getTimeoutRx() {
    return drv().SerGetTimeoutRx(portNum_);
}

int SerialPortLocal::getTimeoutTx() {
    return drv().SerGetTimeoutTx(portNum_);
}

SerialPort::WaitResult SerialPortLocal::waitForData(int timeoutMs) {
    requireOpen("waitForData");
    const int r = drv().SerWaitForData(portNum_, timeoutMs);
    switch (r) {
    case SerialDriver::WAIT_DATA:
        return WaitResult::DataReady;
    case SerialDriver::WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    case SerialDriver::WAIT_WOKEN:
        return WaitResult::WokenUp;
    case SerialDriver::WAIT_GONE:
        return WaitResult::DeviceGone;
    default:
        driverFailure("waitForData failed");
    }
}

void SerialPortLocal::wakeUp() {
    const int port = portNum_;
    if (port >= 0)
        drv().SerWakeUp(port);
}

bool SerialPortLocal::isDeviceGone() {
    requireOpen("isDeviceGone");
    const int r = drv().SerIsGone(portNum_);
    if (r == -1)
        driverFailure("isDeviceGone failed");
    return r == 1;
}

void SerialPortLocal::setConfig(SerialConfig& config) {
    if (!open_)
        config.setPortNum(portNum_ + 1);
    config_ = config;
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    l.defaultPortName = config.getPortNameString();
}

std::string SerialPortLocal::getPortName() const {
    const std::string bytes = config_.getPortName();
    return bytes.substr(0, bytes.find('\0'));
}

void SerialPortLocal::setPortName(const std::string& name) {
    config_.setPortName(name);
    Library& l = loaded();
    std::lock_guard lock(l.mutex);
    l.defaultPortName = name;
}

std::string SerialPortLocal::getName(int port) {
    const std::string os = getOsName();
    if (os == "Mac OS" || os == "Mac OS X" || RoutingDriver::isScaleName(config_.getPortNameString()))
        return drv().SerGetName(port);
    return "Not implemented";
}

int SerialPortLocal::getLibVer() {
    return drv().SerGetLibVer();
}

} // namespace Tarolink
