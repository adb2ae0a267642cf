// SerialPortLocal over the simulated driver: the checks, texts and platform rules of the
// port object itself, on the OS names the capability setup knows.
#include "Tarolink/DeviceNotificationCallback.h"
#include "Tarolink/ErrorStatusHandler.h"
#include "Tarolink/FlowControlTask.h"
#include "Tarolink/FriendlyPortUtil.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"
#include "tests/support/SimulatedDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Tarolink;
using tarolink_test::errorText;
using tarolink_test::PropertyGuard;

namespace {

class SimulatedPort : public ::testing::Test {
protected:
    void use(const std::string& osName) {
        os_.emplace("TLK_OSNAME", osName);
        driver = std::make_shared<SimulatedDriver>();
        driver->addPort("COM3", "USB Serial Port", "FTDI");
        driver->addPort("COM1");
        SerialPortLocal::installDriver(driver);
    }
    void SetUp() override { use("Windows 10"); }

    std::optional<PropertyGuard> os_;
    PropertyGuard portList_{"SERIAL_PORT_LIST", std::nullopt};
    std::shared_ptr<SimulatedDriver> driver;
};

std::string ioError(const std::function<void()>& f) {
    return errorText<PortIOException>(f);
}

} // namespace

TEST_F(SimulatedPort, OpenConfiguresAndSetsTimeouts) {
    SerialPortLocal port(SerialConfig("COM3"));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.getPortNum(), 0);
    EXPECT_FALSE(port.getConfig().getHardFlow()) << "cleared on every system but Windows 95";
    ASSERT_TRUE(driver->lastConfig("COM3"));
    EXPECT_EQ(driver->lastConfig("COM3")->getBitRate(), SerialConfig::BR_9600);
    EXPECT_EQ(port.getTimeoutRx(), 0);
    EXPECT_EQ(port.getTimeoutTx(), 426300) << "4096 bytes at 9600 bit/s: 4263 ms x 100";
    EXPECT_EQ(port.getPortName(), "COM3");
    EXPECT_EQ(port.getName(), "Serial Port");
    EXPECT_EQ(port.getBuildNum(), 9233);
    EXPECT_EQ(port.getMaxBitRate(), 921600);
    EXPECT_EQ(port.getName(0), "Not implemented");
}

TEST_F(SimulatedPort, TransmitTimeoutDoesNotOverflowForLargeBuffers) {
    SerialConfig c("COM3");
    c.setTxLen(1000000);
    c.setBitRate(SerialConfig::BR_110);
    SerialPortLocal port(c);
    EXPECT_EQ(port.getTimeoutTx(), 2147483647);
}

TEST_F(SimulatedPort, OpenFailuresNameThePortAndTheReason) {
    const std::pair<int, const char*> rows[] = {
        {1000, "COM3: SerOpenPort failed: Port is already open"},
        {1002, "COM3: SerOpenPort failed: Port is in use"},
        {1003, "COM3: SerOpenPort failed: Port not valid"},
        {1004, "COM3: SerOpenPort failed: 2: No such device"},
        {1005, "COM3: SerOpenPort failed: : 1005"},
        {1006, "COM3: SerOpenPort failed: Permission denied"},
        {1007, "COM3: SerOpenPort failed: Device busy"},
        {1008, "COM3: SerOpenPort failed: 19: No such device"},
        {77, "COM3: SerOpenPort failed: : 77"},
    };
    for (const auto& [code, text] : rows) {
        driver->setOpenResult("COM3", code);
        SerialPortLocal port;
        SerialConfig config("COM3");
        port.setConfig(config);
        EXPECT_EQ(ioError([&] { port.open(); }), text);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.getPortNum(), -1);
    }
}

TEST_F(SimulatedPort, HeldPortAndSecondOpen) {
    driver->setHeldElsewhere("COM3", true);
    EXPECT_EQ(ioError([] { SerialPortLocal p(SerialConfig("COM3")); }),
              "COM3: SerOpenPort failed: Port is in use");
    driver->setHeldElsewhere("COM3", false);
    SerialPortLocal first(SerialConfig("COM3"));
    EXPECT_EQ(ioError([] { SerialPortLocal p(SerialConfig("COM3")); }),
              "COM3: SerOpenPort failed: Port is already open");
}

TEST_F(SimulatedPort, ClosedPortOperations) {
    SerialPortLocal port(SerialConfig("COM3"));
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.getPortNum(), -1);
    EXPECT_NO_THROW(port.close());
    const std::pair<std::function<void()>, const char*> rows[] = {
        {[&] { port.sigCTS(); }, "sigCTS: Port not open"},
        {[&] { port.sigDSR(); }, "sigDSR: Port not open"},
        {[&] { port.sigCD(); }, "sigCD: Port not open"},
        {[&] { port.sigRing(); }, "sigRing: Port not open"},
        {[&] { port.sigBreak(); }, "sigBreak: Port not open"},
        {[&] { port.sigFrameErr(); }, "sigFrameErr: Port not open"},
        {[&] { port.sigOverrun(); }, "sigOverrun: Port not open"},
        {[&] { port.sigParityErr(); }, "sigParityErr: Port not open"},
        {[&] { port.rxOverflow(); }, "rxOverflow: Port not open"},
        {[&] { port.txBufCount(); }, "txBufCount: Port not open"},
        {[&] { port.setDTR(true); }, "setDTR: Port not open"},
        {[&] { port.setRTS(true); }, "setRTS: Port not open"},
        {[&] { port.sendBreak(10); }, "sendBreak: Port not open"},
        {[&] { port.configure(); }, "configure: Port is not open"},
        {[&] { port.reset(); }, "reset: Port is not open"},
        {[&] { port.waitForData(0); }, "waitForData: Port not open"},
        {[&] { port.isDeviceGone(); }, "isDeviceGone: Port not open"},
        // No open test: the driver answers for port -1.
        {[&] { port.rxFlush(); }, "rxFlush failed"},
        {[&] { port.txFlush(); }, "txFlush failed"},
        {[&] { port.txDrain(); }, "txDrain failed"},
        {[&] { port.rxReadyCount(); }, "rxReadyCount failed"},
        {[&] { port.setTimeoutRx(5); }, "setTimeoutRx failed"},
    };
    for (const auto& [call, text] : rows)
        EXPECT_EQ(ioError(call), text);
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_NO_THROW(port.wakeUp());
    port.open();
    EXPECT_TRUE(port.isOpen());
}

TEST_F(SimulatedPort, CloseFailureStillCloses) {
    SerialPortLocal port(SerialConfig("COM3"));
    driver->setCloseResult(-1);
    EXPECT_EQ(ioError([&] { port.close(); }), "ClosePort failed");
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.getPortNum(), -1);
    driver->setCloseResult(0);
}

TEST_F(SimulatedPort, WritesCheckCountsAndReportShortSends) {
    SerialPortLocal port(SerialConfig("COM3"));
    const std::vector<std::uint8_t> data{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};

    port.putData(std::span<const std::uint8_t>());
    EXPECT_FALSE(port.sendSinceTxBufEmpty()) << "an empty array sends nothing and sets nothing";
    EXPECT_EQ(ioError([&] { port.putData(data, 11); }), "putData: count out of bounds");
    EXPECT_EQ(ioError([&] { port.putData(data, 8, 3); }), "putData3: count out of bounds");
    EXPECT_TRUE(driver->sent("COM3").empty());
    EXPECT_FALSE(port.sendSinceTxBufEmpty());

    port.putData(data, 2);
    port.putData(data, 8, 2);
    port.putString("xy");
    port.putByte('!');
    EXPECT_EQ(driver->sent("COM3"), (std::vector<std::uint8_t>{'a', 'b', 'i', 'j', 'x', 'y', '!'}));
    EXPECT_TRUE(port.sendSinceTxBufEmpty());
    port.clearSendSinceTxBufEmpty();
    EXPECT_FALSE(port.sendSinceTxBufEmpty());

    driver->setWriteLimit("COM3", 3);
    EXPECT_EQ(ioError([&] { port.putData(data); }), "PutData1: Sent only 3 of 10 bytes");
    EXPECT_TRUE(port.sendSinceTxBufEmpty());
    EXPECT_EQ(ioError([&] { port.putData(data, 5); }), "PutData2: Sent only 3 of 5 bytes");
    EXPECT_EQ(ioError([&] { port.putData(data, 1, 4); }), "putData3: Sent only 3 of 4 bytes");
    EXPECT_EQ(ioError([&] { port.putString("hello"); }), "PutString: sent only 3 of 5 bytes");
    driver->setWriteLimit("COM3", -2);
    EXPECT_EQ(ioError([&] { port.putByte('x'); }), "PutByte failed: -1");
}

TEST_F(SimulatedPort, ReadsAndTheirFlags) {
    SerialPortLocal port(SerialConfig("COM3"));
    std::vector<std::uint8_t> buf(8);
    EXPECT_EQ(port.getData(buf), 0) << "nothing received";
    EXPECT_TRUE(port.rdSinceRxBufCheck());
    port.clearReadSinceRxBufCheck();
    driver->receiveText("COM3", "12.5g\r\n");
    EXPECT_EQ(port.rxReadyCount(), 7);
    EXPECT_EQ(port.getByte(), '1');
    EXPECT_TRUE(port.rdSinceRxBufCheck());
    EXPECT_EQ(port.getData(buf, 2, 3), 3);
    EXPECT_EQ(std::string(buf.begin() + 2, buf.begin() + 5), "2.5");
    EXPECT_THROW(port.getData(buf, 6, 3), PortArgumentException);
    EXPECT_THROW(port.getData(buf, -1, 1), PortArgumentException);
    EXPECT_EQ(port.getData(buf, 0, 100), 3) << "the count is limited to the array";
    EXPECT_EQ(port.getByte(), -1);
    driver->setReadFailure("COM3", true);
    EXPECT_EQ(ioError([&] { port.getData(buf); }), "getData: failed");
    EXPECT_EQ(port.getByte(), -1);
}

TEST_F(SimulatedPort, ErrorsDescribeTheByteJustTaken) {
    SerialPortLocal port(SerialConfig("COM3"));
    driver->receive("COM3", {'A'});
    driver->receive("COM3", {'B'}, SimulatedDriver::ByteError::Parity);
    driver->receive("COM3", {'C'}, SimulatedDriver::ByteError::Frame);
    driver->receive("COM3", {0}, SimulatedDriver::ByteError::Break);
    driver->receive("COM3", {0xFF});
    struct Row {
        int byte;
        bool parity, frame, brk;
    } rows[] = {{'A', false, false, false},
                {'B', true, false, false},
                {'C', false, true, false},
                {0, false, false, true},
                {0xFF, false, false, false}};
    for (const auto& r : rows) {
        EXPECT_EQ(port.getByte(), r.byte);
        EXPECT_EQ(port.sigParityErr(), r.parity) << r.byte;
        EXPECT_EQ(port.sigFrameErr(), r.frame) << r.byte;
        EXPECT_EQ(port.sigBreak(), r.brk) << r.byte;
    }
}

TEST_F(SimulatedPort, ModemLinesAnswerThroughLoopbacks) {
    SerialPortLocal port(SerialConfig("COM3"));
    driver->setLoopback("COM3", true, true);
    EXPECT_FALSE(port.sigCTS());
    port.setRTS(true);
    EXPECT_TRUE(port.sigCTS());
    EXPECT_FALSE(port.sigDSR());
    port.setDTR(true);
    EXPECT_TRUE(port.sigDSR());
    port.setRTS(false);
    EXPECT_FALSE(port.sigCTS());
    driver->setLoopback("COM3", false, false);
    driver->setInputLines("COM3", false, true, true, true);
    EXPECT_TRUE(port.sigDSR());
    EXPECT_TRUE(port.sigCD());
    EXPECT_TRUE(port.sigRing());
}

TEST_F(SimulatedPort, WindowsRewritesLiteralRatesAndRefusesOthers) {
    SerialConfig c("COM3");
    c.setBitRate(9600);
    SerialPortLocal port(c);
    EXPECT_EQ(port.getConfig().getBitRate(), 7) << "literal 9600 becomes index 7";
    port.getConfig().setBitRate(14400);
    EXPECT_EQ(ioError([&] { port.configure(); }), "Unsupported Serial Port Bit Rate");
    port.getConfig().setBitRate(20);
    EXPECT_EQ(ioError([&] { port.configure(); }), "Unsupported Serial Port Bit Rate");
    port.getConfig().setBitRate(115200);
    port.configure();
    EXPECT_EQ(driver->lastConfig("COM3")->getBitRate(), SerialConfig::BR_115200);
    driver->setConfigureResult(1003);
    EXPECT_EQ(ioError([&] { port.configure(); }), "Configure failed: 1003");
    EXPECT_TRUE(port.isOpen()) << "a failed configure leaves the port open";
    driver->setConfigureResult(0);
}

TEST_F(SimulatedPort, ConfigureFailureDuringOpenLeavesThePortClosed) {
    SerialConfig c("COM3");
    c.setBitRate(14400);
    EXPECT_EQ(ioError([&] { SerialPortLocal p(c); }), "Unsupported Serial Port Bit Rate");
    EXPECT_FALSE(driver->isOpen("COM3"));
}

TEST_F(SimulatedPort, ConfigureWithAnotherConfiguration) {
    SerialPortLocal port(SerialConfig("COM3"));
    SerialConfig other("COM3");
    other.setParity(SerialConfig::PY_EVEN);
    port.configure(other);
    EXPECT_EQ(driver->lastConfig("COM3")->getParity(), SerialConfig::PY_EVEN);
    EXPECT_EQ(port.getParity(), SerialConfig::PY_EVEN);
}

TEST_F(SimulatedPort, MarkAndSpaceParityDependOnTheCapability) {
    use("Windows 10");
    SerialConfig c("COM3");
    c.setParity(SerialConfig::PY_MARK);
    EXPECT_NO_THROW(SerialPortLocal{c});
    use("Mac OS X"); // no flags at all on systems without a driver of ours
    EXPECT_FALSE(SerialPortLocal::features().parityMarkSpace);
    SerialConfig d("COM3");
    d.setParity(SerialConfig::PY_SPACE);
    EXPECT_EQ(ioError([&] { SerialPortLocal p(d); }), "Unsupported Mark/Space parity");
}

TEST_F(SimulatedPort, CapabilityFailuresNameTheSystem) {
    use("Mac OS X");
    SerialPortLocal port(SerialConfig("COM3"));
    EXPECT_EQ(ioError([&] { port.sigCD(); }), "sigCD not supported on Mac OS X");
    EXPECT_EQ(ioError([&] { port.setRTS(true); }), "setRts not supported on Mac OS X");
    EXPECT_EQ(ioError([&] { port.setDTR(true); }), "setDTR not supported on Mac OS X");
    EXPECT_EQ(ioError([&] { port.rxReadyCount(); }), "rxReadyCount not supported on Mac OS X");
    EXPECT_EQ(ioError([&] { port.resetPortDriver("x"); }), "resetPortDriver not supported on Mac OS X");
    EXPECT_NO_THROW(port.sigCTS()) << "sigCTS and sigDSR have no capability test";
    EXPECT_NO_THROW(port.sigDSR());
    EXPECT_EQ(port.getTimeoutTx(), 0) << "no transmit time-out without setTimeoutTx";
}

TEST_F(SimulatedPort, ResetPortDriver) {
    SerialPortLocal port(SerialConfig("COM3"));
    EXPECT_EQ(ioError([&] { port.resetPortDriver("FTDIBUS"); }), "resetPortDriver: Port must be closed");
    port.close();
    EXPECT_NO_THROW(port.resetPortDriver("FTDIBUS"));
}

TEST_F(SimulatedPort, ResetKeepsTheTransmitTimeout) {
    SerialPortLocal port(SerialConfig("COM3"));
    port.setTimeoutTx(1234);
    const int before = driver->configureCount();
    port.reset();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.getTimeoutTx(), 1234);
    EXPECT_EQ(driver->configureCount(), before + 1);
}

TEST_F(SimulatedPort, RxReadyCountFailureGoesToTheHandler) {
    struct Handler : ErrorStatusHandler {
        std::vector<int> codes;
        void errorEvent(std::int32_t code) override { codes.push_back(code); }
    } handler;
    SerialPortLocal port(SerialConfig("COM3"));
    driver->setRxReadyCountResult(-1);
    EXPECT_EQ(ioError([&] { port.rxReadyCount(); }), "rxReadyCount failed");
    port.setErrorStatusHandler(&handler);
    EXPECT_EQ(port.rxReadyCount(), -1);
    EXPECT_EQ(handler.codes, std::vector<int>{10});
    driver->setRxReadyCountResult(std::nullopt);
}

TEST_F(SimulatedPort, WaitReportsDataWakeUpsAndVanishedDevices) {
    SerialPortLocal port(SerialConfig("COM3"));
    EXPECT_EQ(port.waitForData(0), SerialPort::WaitResult::TimedOut);
    port.wakeUp(); // kept for the next wait
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::WokenUp);
    std::thread feeder([&] { driver->receiveText("COM3", "x"); });
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::DataReady);
    feeder.join();
    EXPECT_EQ(port.getByte(), 'x');
    EXPECT_FALSE(port.isDeviceGone());
    driver->receiveText("COM3", "y");
    driver->vanish("COM3");
    EXPECT_FALSE(port.isDeviceGone()) << "bytes sent before the end are still taken";
    EXPECT_EQ(port.getByte(), 'y');
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_TRUE(port.isDeviceGone());
    EXPECT_EQ(port.waitForData(10000), SerialPort::WaitResult::DeviceGone);
}

TEST_F(SimulatedPort, IsSupportedMatchesNamesExactly) {
    SerialPortLocal port;
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.getPortName(), "COM1") << "default port name on Windows";
    EXPECT_TRUE(port.isSupported("sigCTS"));
    EXPECT_FALSE(port.isSupported("sigcts"));
    EXPECT_FALSE(port.isSupported("setPowerMode"));
    EXPECT_TRUE(port.isSupported("supDriverInfo"));
    EXPECT_FALSE(port.isSupported("noIndexBitRate"));
    EXPECT_FALSE(port.isSupported("pollingReadTimeout"));
    EXPECT_EQ(SerialPortLocal::getPowerMode(), -1);
    EXPECT_NO_THROW(SerialPortLocal::setPowerMode(1, 2));
    EXPECT_EQ(SerialPortLocal::getInstanceLock(1), 0);
}

TEST_F(SimulatedPort, SetConfigOnAClosedPortTakesItsNumberAndName) {
    SerialPortLocal port;
    SerialConfig c("COM3");
    c.setPortNum(9);
    port.setConfig(c);
    EXPECT_EQ(c.getPort(), 0) << "closed port: number -1 + 1";
    EXPECT_EQ(SerialPortLocal::getDefaultPortName(), "COM3");
    port.setPortName("COM1");
    EXPECT_EQ(SerialPortLocal::getDefaultPortName(), "COM1");
    EXPECT_EQ(port.getPortName(), "COM1");
    port.open();
    EXPECT_TRUE(driver->isOpen("COM1"));
}

TEST_F(SimulatedPort, FlowTaskOnlyOnWindows95WithHardwareHandshake) {
    use("Windows 95");
    SerialConfig c("COM3");
    c.setHandshake(SerialConfig::HS_CTSRTS);
    SerialPortLocal port(c);
    ASSERT_NE(port.flowTask(), nullptr);
    EXPECT_TRUE(port.getConfig().getHardFlow());
    EXPECT_EQ(port.flowTask()->getPort(), 0);
    port.close();
    ASSERT_NE(port.flowTask(), nullptr) << "close keeps the reference";
    EXPECT_TRUE(port.flowTask()->isAborted());

    use("Windows 10");
    SerialPortLocal other(c);
    EXPECT_EQ(other.flowTask(), nullptr);
}

TEST(FlowControlTask, PriorityRange) {
    auto driver = std::make_shared<SimulatedDriver>();
    FlowControlTask task(driver, 0);
    EXPECT_EQ(task.getFlowPriority(), 5);
    task.setFlowPriority(10);
    EXPECT_EQ(task.getFlowPriority(), 10);
    EXPECT_THROW(task.setFlowPriority(11), PortArgumentException);
    EXPECT_THROW(task.setFlowPriority(0), PortArgumentException);
    EXPECT_EQ(task.getFlowPriority(), 10);
}

TEST_F(SimulatedPort, PortListFromTheDriverIsReorderedOnWindows) {
    driver = std::make_shared<SimulatedDriver>();
    for (const char* n : {"COM10", "COM3", "COMX", "LPT1", "COM1"})
        driver->addPort(n);
    SerialPortLocal::installDriver(driver);
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"COM1", "COM3", "COM10", "LPT1"}));

    use("Linux");
    driver = std::make_shared<SimulatedDriver>();
    for (const char* n : {"/dev/ttyUSB0", "COM10", "COM2"})
        driver->addPort(n);
    SerialPortLocal::installDriver(driver);
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"/dev/ttyUSB0", "COM10", "COM2"}))
        << "other drivers keep their order";
}

TEST_F(SimulatedPort, SerialPortListPropertyReplacesDiscovery) {
    PropertyGuard list("SERIAL_PORT_LIST", " COM1;COM2:COM7\n");
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"COM1", "COM2", "COM7"}));
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"COM1", "COM2", "COM7"}))
        << "asking twice lists each name once";
    EXPECT_TRUE(SerialPortLocal::getDriverInfoList().empty()) << "the driver was not asked";
}

TEST_F(SimulatedPort, SerialPortListKeepsNetworkNamesWhole) {
    PropertyGuard list("SERIAL_PORT_LIST", "tcp://h:4001:/dev/ttyS1;RFC2217://[::1]:2217:tcp://bad;COM2");
    EXPECT_EQ(SerialPortLocal::getPortList(),
              (std::vector<std::string>{"tcp://h:4001", "/dev/ttyS1", "RFC2217://[::1]:2217", "tcp://bad",
                                        "COM2"}));
}

TEST_F(SimulatedPort, ShortSerialPortListIsIgnored) {
    PropertyGuard list("SERIAL_PORT_LIST", "COM1");
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"COM1", "COM3"}));
}

TEST_F(SimulatedPort, WithoutDiscoveryTheAddedNamesAreTheList) {
    use("NetWare 6");
    EXPECT_FALSE(SerialPortLocal::features().getPortList);
    EXPECT_TRUE(SerialPortLocal::getPortList().empty());
    SerialPortLocal::addPortName("COM5");
    SerialPortLocal::addPortName("com5");
    SerialPortLocal::addPortName("COM6");
    EXPECT_EQ(SerialPortLocal::getPortList(), (std::vector<std::string>{"COM5", "COM6"}));
}

TEST_F(SimulatedPort, DriverInfoAndDisplayNames) {
    EXPECT_EQ(errorText<PortIOException>([] { FriendlyPortUtil::prepare(); }),
              "Must call SerialPortLocal.getPortList method first");
    SerialPortLocal::getPortList();
    const auto info = SerialPortLocal::getDriverInfoList();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0], PortDriverInfo("COM3", "USB Serial Port", "FTDI"));
    FriendlyPortUtil::prepare();
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("COM3"), "COM3: FTDI - USB Serial Port");
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("com3"), "com3");
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("COM1"), "COM1") << "no driver information";
    EXPECT_EQ(FriendlyPortUtil::getUnfriendlyPortName("COM3: FTDI - USB Serial Port"), "COM3");
    EXPECT_EQ(FriendlyPortUtil::getUnfriendlyPortName("COM1"), "COM1");
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortList(),
              std::vector<std::string>{"COM3: FTDI - USB Serial Port"});
    FriendlyPortUtil::clear();
    EXPECT_EQ(FriendlyPortUtil::getFriendlyPortName("COM3"), "COM3");

    use("Windows NT"); // the older column has no driver information
    EXPECT_EQ(errorText<PortIOException>([] { SerialPortLocal::getDriverInfoList(); }),
              "Not supported on this platform");
}

TEST_F(SimulatedPort, DeviceNotificationsReachTheCallback) {
    struct Counter : DeviceNotificationCallback {
        std::atomic<int> calls{0};
        void deviceNotification() override { ++calls; }
    } first, second;
    SerialPortLocal::registerDeviceNotification(&first);
    driver->announceDeviceChange();
    EXPECT_EQ(first.calls, 1);
    SerialPortLocal::registerDeviceNotification(&second);
    driver->announceDeviceChange();
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
    SerialPortLocal::unregisterDeviceNotification();
    EXPECT_FALSE(driver->notificationRegistered());
    driver->announceDeviceChange();
    EXPECT_EQ(second.calls, 1);
}

TEST(DriverLoading, NoDriverForAWindowsNameLeavesTheLibraryUnloaded) {
    PropertyGuard os("TLK_OSNAME", "Windows 10");
    SerialPortLocal::reloadLibrary();
    EXPECT_FALSE(SerialPortLocal::isLibraryLoaded());
    EXPECT_EQ(errorText<PortIOException>([] { SerialPortLocal p(SerialConfig("COM1")); }),
              "Native library tlkWin not loaded");
}

TEST(DriverLoading, LinuxLoadsThePosixDriver) {
    PropertyGuard os("TLK_OSNAME", "Linux");
    SerialPortLocal::reloadLibrary();
    ASSERT_TRUE(SerialPortLocal::isLibraryLoaded());
    EXPECT_EQ(SerialPortLocal::driver()->libraryName(), "tlkPosix");
    EXPECT_EQ(SerialPortLocal::getDefaultPortName(), "/dev/ttyS0");
}
