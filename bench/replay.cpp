// Lines per second through tarovex-console --replay: a 1,000,000-line capture through
// the line cutting, extraction, processing and repeat filter, values to a file. Goal:
// at least 3,000,000 lines/s. Beside it the console's peak resident memory, as the kernel
// counts it for the finished process.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kLines = 1000000;
const std::string kConsole = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";

std::string folder() {
    static std::string path = [] {
        char name[] = "/tmp/bench-replay-XXXXXX";
        return std::string(::mkdtemp(name) ? name : "/tmp");
    }();
    return path;
}

// A balance's stream: "ST,GS,+   1234.56 g" lines, every value different.
const std::string& capture() {
    static const std::string path = [] {
        const std::string p = folder() + "/capture.bin";
        std::ofstream out(p, std::ios::binary);
        char line[48];
        for (int n = 1; n <= kLines; ++n)
            out.write(line, std::snprintf(line, sizeof line, "ST,GS,+%7d.%02d g\r", n % 1000000, n % 100));
        return p;
    }();
    return path;
}

struct Outcome {
    int status;
    long peakKiB;
};

// Runs the console on the capture; its exit status and peak resident memory.
Outcome replay(bool lineLog, bool ignoreDuplicates, const std::string& values, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(values.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        ::dup2(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        ::setenv("HOME", folder().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", folder().c_str(), 1);
        const char* set = ignoreDuplicates ? "ignoreDuplicates=true" : "ignoreDuplicates=false";
        if (lineLog)
            ::execl(kConsole.c_str(), kConsole.c_str(), "--set", set, "--replay", capture().c_str(), nullptr);
        else
            ::execl(kConsole.c_str(), kConsole.c_str(), "--no-line-log", "--set", set, "--replay",
                    capture().c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

long newlines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    long n = 0;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it)
        n += *it == '\n';
    return n;
}

// Arguments: line log on standard error (to a file) or not; the repeat filter on or off.
void BM_Replay(benchmark::State& state) {
    const bool lineLog = state.range(0) != 0;
    const bool ignore = state.range(1) != 0;
    const std::string values = folder() + "/values.txt";
    const std::string log = folder() + "/log.txt";
    capture();
    long peakKiB = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const Outcome run = replay(lineLog, ignore, values, log);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (run.status != 0)
            state.SkipWithError("the replay failed");
        peakKiB = std::max(peakKiB, run.peakKiB);
    }
    if (newlines(values) != kLines)
        state.SkipWithError("values missing");
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations()) * kLines, benchmark::Counter::kIsRate);
    // The largest of the runs; a forked child's count starts from this program's own, which
    // is far below the console's.
    state.counters["peak_MiB"] = double(peakKiB) / 1024.0;
}
BENCHMARK(BM_Replay)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"lineLog", "ignoreDuplicates"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
