// The acquisition end to end on real pseudo-terminals: lines per second into the worker
// and into the console front end, the time from a line's terminator to its value at the
// view and on the console's standard output, and how often an idle run wakes the processor.
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"
#include "config/Config.h"
#include "worker/WeightWorkerFactory.h"

#include "tests/Tarolink/TestSupport.h"
#include "tests/worker/WorkerTestSupport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace tarovex::worker;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using Clock = std::chrono::steady_clock;

namespace {

void setUp() {
    static int argc = 1;
    static char name[] = "bench_worker";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = nullptr;
    if (!app) {
        Tarolink::SystemProperties::set("TLK_OSNAME", "Linux");
        app = new QCoreApplication(argc, argv);
        Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    }
}

// Runs the event loop until `done` holds, for at most a minute.
bool runUntil(const std::function<bool()>& done) {
    return worker_test::runUntil(done, 60000);
}

using tarolink_test::Pty;

class CountingView : public WeightWorkerView {
public:
    void logEvent(const QString&) override {}
    void logImportantEvent(const QString&) override {}
    void setConnectedInGUI(bool) override {}
    void dataLineReceived(DataLine line) override {
        lastArrival = Clock::now();
        received += line.hasValue() ? 1 : 0;
    }
    long received = 0;
    Clock::time_point lastArrival;
};

Config configOn(const std::string& port) {
    Config c = Config::defaultsOf(Instrument::GENERIC);
    c.setInstrument(Instrument::GENERIC);
    c.setPort(QString::fromStdString(port));
    return c;
}

std::string generatedLines(int count) {
    std::string all;
    char line[48];
    for (int n = 1; n <= count; ++n)
        all.append(
            line, std::size_t(std::snprintf(line, sizeof line, "ST,GS,+%7d.%02d g\r", n % 1000000, n % 100)));
    return all;
}

// Lines per second from the terminal into the worker's view.
void BM_PtyIntoWorker(benchmark::State& state) {
    setUp();
    const int lines = int(state.range(0));
    const std::string data = generatedLines(lines);
    for (auto _ : state) {
        Pty pty;
        CountingView view;
        auto created = createWeightWorker(view, configOn(pty.slavePath()));
        created.worker->start();
        const auto start = Clock::now();
        std::thread instrument([&] { pty.write(data); });
        if (!runUntil([&] { return view.received >= lines; }))
            state.SkipWithError("lines missing");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        instrument.join();
        state.SetIterationTime(seconds);
        created.worker->cancel(true);
        runUntil([&] { return created.worker->isDone(); });
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations() * lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PtyIntoWorker)->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// From the write of a line's terminator to the value at the view, one line at a time.
void BM_TerminatorToView(benchmark::State& state) {
    setUp();
    Pty pty;
    CountingView view;
    auto created = createWeightWorker(view, configOn(pty.slavePath()));
    created.worker->start();
    std::vector<double> micros;
    long expected = 0;
    for (auto _ : state) {
        pty.write("ST,GS,+  12.5");
        ++expected;
        const auto sent = Clock::now();
        pty.write(" g\r");
        if (!runUntil([&] { return view.received >= expected; }))
            state.SkipWithError("line missing");
        micros.push_back(std::chrono::duration<double, std::micro>(view.lastArrival - sent).count());
    }
    created.worker->cancel(true);
    runUntil([&] { return created.worker->isDone(); });
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    state.counters["max_us"] = micros.back();
}
// runUntil polls every few milliseconds, but the value's arrival time is taken in
// the view itself, so the poll does not add to the figure.
BENCHMARK(BM_TerminatorToView)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// Context switches of every thread of this process (the idle worker and the owner).
long contextSwitches() {
    long total = 0;
    for (const QString& task :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream status("/proc/self/task/" + task.toStdString() + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

// An open port with nothing arriving: how often the process wakes per second.
void BM_IdleWakeUps(benchmark::State& state) {
    setUp();
    Pty pty;
    CountingView view;
    auto created = createWeightWorker(view, configOn(pty.slavePath()));
    WeightWorker& w = *created.worker;
    w.start();
    double seconds = 0;
    long switches = 0;
    std::uint64_t loops = 0;
    for (auto _ : state) {
        const std::uint64_t loopsBefore = w.idleWakeUps();
        const long before = contextSwitches();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3)); // this thread sleeps too
        switches += contextSwitches() - before - 1;           // less our own sleep
        loops += w.idleWakeUps() - loopsBefore;
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    w.cancel(true);
    runUntil([&] { return w.isDone(); });
    state.counters["wakeups/s"] = double(switches) / seconds;
    state.counters["loop_rounds/s"] = double(loops) / seconds;
}
BENCHMARK(BM_IdleWakeUps)->Iterations(1)->Unit(benchmark::kSecond);

// Through the console front end to its standard output (a pipe the benchmark reads), with
// and without the line log on standard error and the journal, in one run: first the time
// from a line's terminator to its value on the pipe, one line at a time, then lines per
// second for a burst.
void BM_PtyIntoConsole(benchmark::State& state) {
    const int lines = int(state.range(0));
    const bool lineLog = state.range(1) != 0;
    const char* journal = state.range(2) != 0 ? "journal=true" : "journal=false";
    constexpr int kSingles = 300;
    const std::string data = generatedLines(lines);
    const std::string console = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";
    char home[] = "/tmp/bench-console-XXXXXX";
    if (!::mkdtemp(home)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::vector<double> micros;
    double burstSeconds = 0;
    for (auto _ : state) {
        Pty pty;
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, STDERR_FILENO);
            ::setenv("HOME", home, 1);
            ::setenv("XDG_CONFIG_HOME", home, 1);
            ::setenv("XDG_DATA_HOME", home, 1);
            if (lineLog)
                ::execl(console.c_str(), console.c_str(), "--set", journal, pty.slavePath().c_str(), nullptr);
            else
                ::execl(console.c_str(), console.c_str(), "--no-line-log", "--set", journal,
                        pty.slavePath().c_str(), nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        // The console flushes the port when it opens it: give it that moment first.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        char buffer[65536];
        bool complete = true;
        // Values unlike the burst's, so that no repeat filter drops them.
        for (int n = 0; n < kSingles && complete; ++n) {
            char head[32];
            std::snprintf(head, sizeof head, "ST,GS,-%7d.00", n + 1);
            pty.write(head);
            const auto sent = Clock::now();
            pty.write(" g\r");
            complete = false;
            for (ssize_t got; !complete && (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
                complete = std::count(buffer, buffer + got, '\n') > 0;
            if (complete)
                micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
        if (!complete) {
            // No burst into a console that is gone: nobody would read the terminal.
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            ::close(out[0]);
            state.SkipWithError("values missing");
            break;
        }
        const auto start = Clock::now();
        std::thread instrument([&] { pty.write(data); });
        long newlines = 0;
        while (newlines < lines) {
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            newlines += std::count(buffer, buffer + n, '\n');
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        burstSeconds += seconds;
        instrument.join();
        state.SetIterationTime(seconds);
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(out[0]);
        if (newlines != lines)
            state.SkipWithError("values missing");
    }
    if (micros.empty() || burstSeconds == 0)
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["lines/s"] = double(state.iterations() * lines) / burstSeconds;
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}
BENCHMARK(BM_PtyIntoConsole)
    ->Args({200000, 0, 1})
    ->Args({200000, 1, 1})
    ->Args({200000, 0, 0})
    ->ArgNames({"lines", "lineLog", "journal"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
