// Loading the driver: what the library says goes to the program's diagnostic handler,
// never to standard output, and an OS without a driver is an error, not an exit.
#include "Tarolink/Diagnostics.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

using namespace Tarolink;
using tarolink_test::PropertyGuard;

namespace {

class LibraryLoading : public ::testing::Test {
protected:
    void SetUp() override {
        setDiagnosticHandler([this](const std::string& line) { lines.push_back(line); });
    }
    void TearDown() override {
        setDiagnosticHandler({});
        SerialPortLocal::reloadLibrary(); // the real driver again, as the other tests expect
    }
    std::vector<std::string> lines;
};

} // namespace

TEST_F(LibraryLoading, LinesGoToTheHandlerOnly) {
    PropertyGuard os("TLK_OSNAME", "Linux");
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    ::testing::internal::CaptureStdout();
    SerialPortLocal::reloadLibrary();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(SerialPortLocal::isLibraryLoaded());
    const std::vector<std::string> expected = {SerialPortLocal::versionText(), "Tarolink serial port library",
                                               std::string("os.name=") + u.sysname + " os.arch=" + u.machine,
                                               "SerialPort class loaded: tlkPosix"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(SerialPortLocal::versionText().find("10.2"), std::string::npos);
}

TEST_F(LibraryLoading, AnOsWithoutDriverThrowsOnEveryUse) {
    PropertyGuard os("TLK_OSNAME", "Plan 9");
    PropertyGuard arch("TLK_OSARCH", "mips");
    EXPECT_THROW(SerialPortLocal::reloadLibrary(), PlatformNotSupportedException);
    for (int use = 0; use < 2; ++use) {
        try {
            SerialPortLocal::getOsName();
            ADD_FAILURE() << "no error";
        } catch (const PlatformNotSupportedException& e) {
            EXPECT_STREQ(e.what(), "Platform not supported, check VM properties os.name & os.arch");
        }
    }
    EXPECT_EQ(lines.at(3), "osName=Plan 9 osArch=mips");
    EXPECT_THROW(SerialPortLocal port(SerialConfig("/dev/ttyS0")), PlatformNotSupportedException);
}

TEST(Describe, AddsTheSystemsMessageWhenThereIsOne) {
    EXPECT_EQ(describe(PortIOException("x: SerOpenPort failed: 2: No such device", ENOENT)),
              "x: SerOpenPort failed: 2: No such device (No such file or directory)");
    EXPECT_EQ(describe(PortIOException("getData: failed")), "getData: failed");
    EXPECT_EQ(describe(std::runtime_error("other")), "other");
}
