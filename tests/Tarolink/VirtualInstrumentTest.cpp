// The virtual instrument program read through the port, as a user would try it.
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace Tarolink;
using tarolink_test::PropertyGuard;

namespace {

const std::string kTool = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-virtual-instrument";

// Runs the tool; returns the port path it printed (the pipe stays open in `pipe`).
std::string start(const std::string& args, FILE*& pipe) {
    pipe = ::popen((kTool + " " + args).c_str(), "r");
    if (!pipe)
        return {};
    char line[256] = {};
    if (!std::fgets(line, sizeof line, pipe))
        return {};
    std::string path(line);
    while (!path.empty() && path.back() == '\n')
        path.pop_back();
    return path;
}

} // namespace

TEST(VirtualInstrument, SendsFileLinesThenHangsUp) {
    if (!std::filesystem::exists(kTool))
        GTEST_SKIP() << "tool not built";
    PropertyGuard os("TLK_OSNAME", "Linux");
    SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
    const auto file = std::filesystem::temp_directory_path() / ("vi-lines-" + std::to_string(::getpid()));
    std::ofstream(file) << "ST,GS,+  12.50 g\nST,GS,-   0.25 g\r\n";

    FILE* pipe = nullptr;
    const std::string path = start("--rate 0 --count 3 --file " + file.string(), pipe);
    ASSERT_FALSE(path.empty());
    std::string received;
    {
        SerialPortLocal port{SerialConfig(path)};
        for (;;) {
            const auto w = port.waitForData(10000);
            if (w != SerialPort::WaitResult::DataReady) {
                EXPECT_EQ(w, SerialPort::WaitResult::DeviceGone);
                break;
            }
            for (int b; (b = port.getByte()) >= 0;)
                received += static_cast<char>(b);
        }
        EXPECT_TRUE(port.isDeviceGone());
    }
    EXPECT_EQ(::pclose(pipe), 0);
    std::filesystem::remove(file);
    EXPECT_EQ(received, "ST,GS,+  12.50 g\r\nST,GS,-   0.25 g\r\nST,GS,+  12.50 g\r\n");
}

TEST(VirtualInstrument, RefusesBadOptions) {
    if (!std::filesystem::exists(kTool))
        GTEST_SKIP() << "tool not built";
    for (const char* args :
         {"--rate fast", "--count -1", "--preset NOPE", "--file /nonexistent", "--bogus"}) {
        const int status = std::system((kTool + " " + args + " >/dev/null 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
    }
}
