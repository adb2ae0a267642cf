// `tarovex-console --doctor` on this machine, on a real pseudo-terminal that the test holds.
#include "ProcessSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using tools_test::Process;

namespace {

TEST(DoctorRunTest, ReportsAPortInUseAndFails) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string port = ::ptsname(master);
    const int slave = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);

    std::map<std::string, std::string> env{{"PATH", "/usr/bin:/bin"}, {"HOME", testing::TempDir()}};
    Process doctor(std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console", {"--doctor", port}, env);
    std::vector<std::string> lines;
    while (auto line = doctor.readLine())
        lines.push_back(*line);
    const int status = doctor.wait();
    ::close(slave);
    ::close(master);

    std::string report;
    for (const std::string& l : lines)
        report += l + "\n";
    EXPECT_EQ(status, 1) << report;
    const std::string held =
        "PROBLEM  " + port + " is in use by process " + std::to_string(::getpid()) + " (";
    EXPECT_NE(report.find(held), std::string::npos) << report;
    EXPECT_NE(report.find("         fix: kill " + std::to_string(::getpid())), std::string::npos) << report;
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("problem(s) stop reading or typing"), std::string::npos) << report;
    std::cout << report;
}

} // namespace
