// A station of several instruments in one console process, against the same process with
// one: how often it wakes while nothing arrives, its processor time per reading at 100
// readings a second on every instrument, and its resident memory.
#include "tests/Tarolink/TestSupport.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tarolink_test::Pty;

// Context switches of every thread of the process.
long contextSwitches(pid_t pid) {
    long total = 0;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

// User and system time of the process, in seconds.
double processorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::size_t at = text.rfind(')');
    std::vector<std::string> fields;
    for (std::size_t next; at != std::string::npos && (next = text.find(' ', at + 1)) != std::string::npos;
         at = next)
        fields.push_back(text.substr(at + 1, next - at - 1));
    // Fields after the name: state is the first; utime and stime are the 12th and 13th.
    return fields.size() > 13
               ? double(std::stol(fields[12]) + std::stol(fields[13])) / double(::sysconf(_SC_CLK_TCK))
               : 0;
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void BM_Station(benchmark::State& state) {
    const int instruments = int(state.range(0));
    constexpr int kPerSecond = 100;
    constexpr int kLoadSeconds = 5;
    const std::string console = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";
    char home[] = "/tmp/bench-station-XXXXXX";
    if (!::mkdtemp(home)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    for (auto _ : state) {
        std::vector<std::unique_ptr<Pty>> ports;
        std::vector<std::string> args = {console, "--no-line-log"};
        for (int i = 0; i < instruments; ++i) {
            ports.push_back(std::make_unique<Pty>());
            args.push_back(ports.back()->slavePath());
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
            ::setenv("HOME", home, 1);
            ::setenv("XDG_CONFIG_HOME", home, 1);
            ::setenv("XDG_DATA_HOME", home, 1);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(console.c_str(), argv.data());
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::seconds(2)); // every port open, start-up done
        const long kib = residentKiB(pid);
        const long before = contextSwitches(pid);
        const auto idleStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double idleSeconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
        const long idleSwitches = contextSwitches(pid) - before;

        const double cpuBefore = processorSeconds(pid);
        {
            std::vector<std::jthread> senders;
            for (auto& port : ports)
                senders.emplace_back([&port] {
                    auto next = Clock::now();
                    for (int n = 0; n < kPerSecond * kLoadSeconds; ++n) {
                        port->write("ST,GS,+" + std::to_string(1000 + n) + ".00 g\r");
                        next += std::chrono::microseconds(1000000 / kPerSecond);
                        std::this_thread::sleep_until(next);
                    }
                });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the last readings recorded
        const double cpu = processorSeconds(pid) - cpuBefore;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        state.counters["idle_wakeups/s"] = double(idleSwitches) / idleSeconds;
        state.counters["cpu_us/reading"] = cpu * 1e6 / double(instruments * kPerSecond * kLoadSeconds);
        state.counters["rss_MiB"] = double(kib) / 1024.0;
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_Station)->Arg(1)->Arg(8)->ArgName("instruments")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
