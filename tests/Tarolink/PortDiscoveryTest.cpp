#include "Tarolink/PortDiscovery.h"
#include "Tarolink/UdevDeviceMonitor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace Tarolink;

namespace {

// A made-up /sys/class/tty and /dev, laid out as the kernel does it.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tarolink-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "class/tty");
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }

    static void put(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A tty with a device behind it at `devicePath` (relative to root/devices).
    void tty(const std::string& name, const std::string& devicePath, const char* type = nullptr) {
        const fs::path dir = root / "class/tty" / name;
        fs::create_directories(dir);
        fs::create_directories(root / "devices" / devicePath);
        fs::create_directory_symlink(root / "devices" / devicePath, dir / "device");
        if (type)
            put(dir / "type", type);
        put(root / "dev" / name, "");
    }

    std::vector<DiscoveredPort> list() {
        return SysfsPortDiscovery((root / "class/tty").string(), (root / "dev").string()).listPorts();
    }

    fs::path root;
};

} // namespace

TEST_F(FakeSysfs, OnlyRealSerialDevicesInNaturalOrder) {
    tty("ttyS10", "pnp0/00:0a/tty", "4");
    tty("ttyS2", "pnp0/00:02/tty", "4");
    tty("ttyS3", "platform/serial8250/tty3", "0"); // unused legacy slot
    tty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    put(root / "devices/pci0/usb1/1-1/product", "FT232R USB UART");
    put(root / "devices/pci0/usb1/1-1/manufacturer", "FTDI");
    tty("ttyACM0", "pci0/usb1/1-2/1-2:1.0");
    put(root / "devices/pci0/usb1/1-2/product", "Balance Interface");
    fs::create_directories(root / "class/tty/tty1"); // virtual console: no device
    put(root / "dev/tty1", "");
    tty("ttyS4", "pnp0/00:04/tty", "4");
    fs::remove(root / "dev/ttyS4"); // no device node

    const auto d = (root / "dev").string();
    EXPECT_EQ(list(), (std::vector<DiscoveredPort>{
                          {d + "/ttyACM0", "Balance Interface", ""},
                          {d + "/ttyS2", "", ""},
                          {d + "/ttyS10", "", ""},
                          {d + "/ttyUSB0", "FT232R USB UART", "FTDI"},
                      }));
}

TEST_F(FakeSysfs, MissingClassDirectoryListsNothing) {
    EXPECT_TRUE(SysfsPortDiscovery((root / "nowhere").string(), "/dev").listPorts().empty());
}

TEST(PortDiscovery, UnusedSlotRule) {
    EXPECT_TRUE(isUnusedSerialSlot("0"));
    EXPECT_TRUE(isUnusedSerialSlot("0\n"));
    EXPECT_FALSE(isUnusedSerialSlot("4"));
    EXPECT_FALSE(isUnusedSerialSlot(""));
}

TEST(PortDiscovery, SystemListHasNoVirtualTerminals) {
    for (const auto& port : PortDiscovery::listSystemPorts()) {
        EXPECT_EQ(port.devName.rfind("/dev/", 0), 0u) << port.devName;
        const std::string name = port.devName.substr(5);
        EXPECT_FALSE(name.size() > 3 && name.rfind("tty", 0) == 0 &&
                     std::isdigit(static_cast<unsigned char>(name[3])))
            << port.devName;
        EXPECT_NE(name, "ptmx");
        EXPECT_NE(name, "console");
    }
}

TEST(UdevDeviceMonitor, StartsAndStopsItsThread) {
    UdevDeviceMonitor monitor;
    EXPECT_FALSE(monitor.running());
    EXPECT_NO_THROW(monitor.stop());
    // Without netlink access (some containers) there is nothing to start; that is reported.
    if (monitor.start([] {})) {
        EXPECT_TRUE(monitor.running());
        EXPECT_TRUE(monitor.start([] {})) << "a second start replaces the first";
        monitor.stop();
    }
    EXPECT_FALSE(monitor.running());
}

namespace {

// Starts a monitor with room for exactly one more descriptor: the netlink socket gets it,
// the monitor's stop counter does not. Exits 0 when the start was refused.
[[noreturn]] void startWithOneDescriptorLeft() {
    ::alarm(10); // a thread that cannot be stopped would hang stop() for ever
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowest);
    const auto room = static_cast<rlim_t>(lowest + 1);
    const rlimit limit{room, room};
    ::setrlimit(RLIMIT_NOFILE, &limit);
    UdevDeviceMonitor monitor;
    const bool started = monitor.start([] {});
    monitor.stop();
    std::_Exit(started ? 1 : 0);
}

} // namespace

TEST(UdevDeviceMonitorDeathTest, NoStopCounterMeansNoThread) {
    {
        UdevDeviceMonitor probe;
        if (!probe.start([] {}))
            GTEST_SKIP() << "no udev netlink here";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startWithOneDescriptorLeft(), ::testing::ExitedWithCode(0), "");
}
