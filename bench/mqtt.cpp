// Reading-to-subscriber latency through a local Mosquitto broker: one reading handed to a
// run's recorder (journal with publishing) until a subscriber on the same broker has it;
// and the same from a line's terminator through the console front end.
#include "config/Config.h"
#include "journal/RunRecorder.h"
#include "reading/DataLine.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/journal/MosquittoSupport.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tarovex;

namespace {

void BM_ReadingToSubscriber(benchmark::State& state) {
    QTemporaryDir dir;
    mqtt_test::Broker broker(dir.path());
    mqtt_test::Subscriber subscriber(broker.port(), "bench-subscriber");
    config::Config config;
    config.record.station = QStringLiteral("bench");
    config.record.mqttBroker = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    journal::RunRecorder recorder(config, nullptr, dir.path() + "/journal.sqlite");
    const reading::DataLine line(QStringLiteral("ST,GS,+  12.50 g\r\n"), QStringLiteral("12.50"), 1,
                                 std::chrono::system_clock::now(), false);
    std::size_t n = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        recorder.record(line, journal::Outcome::Typed);
        ++n;
        if (!subscriber.waitFor([n](const auto& seqs) { return seqs.size() >= n; }, 10000)) {
            state.SkipWithError("the reading did not arrive");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_ReadingToSubscriber)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(500);


// The console front end with the journal and publishing on, beside one with the journal
// off, each on a pseudo-terminal, lines sent to them in turn: the time from a line's
// terminator to its value on the console's standard output (both consoles) and to the
// subscriber (the first). Run: build/bench/bench_mqtt --benchmark_filter=Console
class Console {
public:
    Console(const std::string& port, const std::vector<std::string>& settings, const std::string& home) {
        const std::string console = std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console";
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        std::vector<std::string> args = {console, "--no-line-log"};
        for (const std::string& s : settings)
            args.insert(args.end(), {"--set", s});
        args.push_back(port);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
            for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
                ::setenv(v, home.c_str(), 1);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(console.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~Console() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::close(out_);
    }
    // Reads the console's output up to the next end of line; false when it ended.
    bool readValue() {
        for (char c; ::read(out_, &c, 1) == 1;)
            if (c == '\n')
                return true;
        return false;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

double percentile(std::vector<double> v, int p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * std::size_t(p) / 100)];
}

void BM_ConsoleTerminatorToSubscriber(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    mqtt_test::Broker broker(dir.path());
    mqtt_test::Subscriber subscriber(broker.port(), "bench-console-subscriber");
    std::atomic<Clock::rep> arrival{0};
    subscriber.onReading = [&] { arrival = Clock::now().time_since_epoch().count(); };
    tarolink_test::Pty ptyOn, ptyOff;
    const std::string homeOn = dir.path().toStdString() + "/on", homeOff = dir.path().toStdString() + "/off";
    ::mkdir(homeOn.c_str(), 0700);
    ::mkdir(homeOff.c_str(), 0700);
    Console on(ptyOn.slavePath(),
               {"journal=true", "station=bench", "mqttBroker=mqtt://127.0.0.1:" + std::to_string(broker.port())},
               homeOn);
    Console off(ptyOff.slavePath(), {"journal=false"}, homeOff);
    // Both consoles flush their ports as they open them, and the first connects to the broker.
    if (!subscriber.waitForStatus("online")) {
        state.SkipWithError("the console did not connect");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<double> toSubscriber, valueOn, valueOff;
    std::size_t n = 0;
    const auto send = [](tarolink_test::Pty& pty, std::size_t i) {
        // Each line into a quiet system: the previous one's publishing and acknowledgement
        // done, so that neither console is measured beside the other's work.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char head[32];
        std::snprintf(head, sizeof head, "ST,GS,+%7zu.00", i);
        pty.write(head);
        const auto sent = Clock::now();
        pty.write(" g\r");
        return sent;
    };
    const auto micros = [](Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); };
    for (auto _ : state) {
        ++n;
        auto sent = send(ptyOn, n);
        const bool value = on.readValue();
        const auto valueAt = Clock::now();
        if (!value || !subscriber.waitFor([n](const auto& seqs) { return seqs.size() >= n; }, 10000)) {
            state.SkipWithError("a value did not arrive");
            break;
        }
        valueOn.push_back(micros(valueAt - sent));
        toSubscriber.push_back(micros(Clock::time_point(Clock::duration(arrival.load())) - sent));
        sent = send(ptyOff, n);
        if (!off.readValue()) {
            state.SkipWithError("a value did not arrive");
            break;
        }
        valueOff.push_back(micros(Clock::now() - sent));
    }
    if (valueOff.empty())
        return;
    state.counters["subscriber_median_us"] = percentile(toSubscriber, 50);
    state.counters["subscriber_p99_us"] = percentile(toSubscriber, 99);
    state.counters["value_journal_on_median_us"] = percentile(valueOn, 50);
    state.counters["value_journal_off_median_us"] = percentile(valueOff, 50);
    state.counters["value_on_vs_off"] = percentile(valueOn, 50) / percentile(valueOff, 50);
}
BENCHMARK(BM_ConsoleTerminatorToSubscriber)->Iterations(300)->Unit(benchmark::kMillisecond);

} // namespace
