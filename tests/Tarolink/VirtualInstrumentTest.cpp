// The virtual instrument program read through the port, as a user would try it.
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

using namespace Tarolink;
using tarolink_test::PropertyGuard;
namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-virtual-instrument";

std::string readLine(FILE* pipe) {
    char line[4096] = {};
    if (!std::fgets(line, sizeof line, pipe))
        return {};
    std::string text(line);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// The tool started through a shell that prints its own process id and then becomes the tool.
struct Started {
    FILE* pipe = nullptr;
    pid_t pid = -1;
    std::string port;
};

Started start(const std::string& args) {
    Started s;
    s.pipe = ::popen(("echo $$; exec " + kTool + " " + args).c_str(), "r");
    if (s.pipe) {
        s.pid = static_cast<pid_t>(std::atoi(readLine(s.pipe).c_str()));
        s.port = readLine(s.pipe);
    }
    return s;
}

int exitStatus(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path tempPath(const std::string& name) {
    return fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

} // namespace

// The reader opens the port well after the instrument started and, as the worker does,
// discards what came before: it still gets --count lines, then the hang-up.
TEST(VirtualInstrument, LateReaderGetsEveryLineThenHangsUp) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tool not built";
    PropertyGuard os("TLK_OSNAME", "Linux");
    SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
    const auto file = tempPath("vi-lines");
    std::ofstream(file) << "ST,GS,+  12.50 g\nST,GS,-   0.25 g\r\n";

    Started tool = start("--rate 0 --count 3 --file " + file.string());
    ASSERT_FALSE(tool.port.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string received;
    {
        SerialPortLocal port{SerialConfig(tool.port)};
        port.rxFlush();
        for (;;) {
            const auto w = port.waitForData(10000);
            if (w != SerialPort::WaitResult::DataReady) {
                EXPECT_EQ(w, SerialPort::WaitResult::DeviceGone);
                break;
            }
            for (int b; (b = port.getByte()) >= 0;)
                received += static_cast<char>(b);
        }
    }
    EXPECT_EQ(::pclose(tool.pipe), 0);
    fs::remove(file);
    // The default line end is the default preset's terminator, CR.
    EXPECT_EQ(received, "ST,GS,+  12.50 g\rST,GS,-   0.25 g\rST,GS,+  12.50 g\r");
}

TEST(VirtualInstrument, HangUpSignalRemovesLink) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tool not built";
    const auto link = tempPath("vi-link");
    Started tool = start("--link " + link.string() + " 2>/dev/null");
    ASSERT_FALSE(tool.port.empty());
    EXPECT_EQ(fs::read_symlink(link), tool.port);
    ::kill(tool.pid, SIGHUP);
    EXPECT_EQ(::pclose(tool.pipe), 0);
    EXPECT_FALSE(fs::is_symlink(link));
}

TEST(VirtualInstrument, RefusesBadOptionsAndFiles) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tool not built";
    const auto fifo = tempPath("vi-fifo"), big = tempPath("vi-big");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(big).close();
    fs::resize_file(big, 16 * 1024 * 1024 + 1);
    const std::vector<std::string> table = {"--rate fast",
                                            "--rate 1e-7",
                                            "--count -1",
                                            "--preset NOPE",
                                            "--bogus",
                                            "--file /nonexistent",
                                            "--file /",
                                            "--file " + fifo.string(),
                                            "--file " + big.string()};
    for (const std::string& args : table)
        EXPECT_EQ(exitStatus(kTool + " " + args + " >/dev/null 2>&1"), 2) << args;
    fs::remove(fifo);
    fs::remove(big);
}

// What --list-presets says about sample lines is what --preset finds.
TEST(VirtualInstrument, ListedSampleLinesMatchPresetUse) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tool not built";
    FILE* pipe = ::popen((kTool + " --list-presets").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    int with = 0, without = 0;
    for (std::string line; !(line = readLine(pipe)).empty();) {
        const std::string name = line.substr(0, line.find(' '));
        const bool none = line.ends_with("(no sample lines)");
        ASSERT_TRUE(none || line.ends_with(" sample lines)") || line.ends_with(" sample line)")) << line;
        (none ? without : with)++;
        EXPECT_EQ(exitStatus(kTool + " --preset " + name + " --count 0 >/dev/null 2>&1"), none ? 2 : 0)
            << line;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_GT(with, 0);
    EXPECT_GT(without, 0);
}

// A&D's tare and zero commands sent over the port: the reading asked for next reads zero.
TEST(VirtualInstrument, TareAndZeroCommandsMakeTheNextReadingZero) {
    if (!fs::exists(kTool))
        GTEST_SKIP() << "tool not built";
    PropertyGuard os("TLK_OSNAME", "Linux");
    SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
    for (const std::string command : {"Z\r\n", "T\r\n"}) {
        SCOPED_TRACE(command.substr(0, 1));
        Started tool = start("--answer --eol crlf");
        ASSERT_FALSE(tool.port.empty());
        std::vector<std::string> weights; // the signed weight of each reading, "+00123.45"
        {
            SerialPortLocal port{SerialConfig(tool.port)};
            std::string pending;
            const auto ask = [&](const std::string& bytes) {
                port.putString(bytes);
                while (pending.find('\n') == std::string::npos &&
                       port.waitForData(10000) == SerialPort::WaitResult::DataReady)
                    for (int b; (b = port.getByte()) >= 0;)
                        pending += static_cast<char>(b);
                const std::size_t end = pending.find("\r\n");
                ASSERT_NE(end, std::string::npos) << pending;
                weights.push_back(pending.substr(3, end - 6)); // "ST,", "  g"
                pending.erase(0, end + 2);
            };
            ask("Q\r\n");
            ask("Q\r\n");
            ask(command + "Q\r\n");
            ask("Q\r\n");
        }
        ::kill(tool.pid, SIGHUP); // ends it, as in use
        EXPECT_EQ(::pclose(tool.pipe), 0);
        ASSERT_EQ(weights.size(), 4u);
        EXPECT_NE(weights[1], "+00000.00");
        EXPECT_EQ(weights[2], "+00000.00");
    }
}
