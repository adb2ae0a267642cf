// Instruments on the network beside a local one, in one run: lines per second into the
// worker's view, and the time from a line's terminator to its value at the view, for a
// pseudo-terminal read directly and for the same terminal served by ser2net on 127.0.0.1
// as RFC 2217 and as raw TCP.
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"
#include "config/Config.h"
#include "worker/WeightWorkerFactory.h"

#include "tests/Ser2netServer.h"
#include "tests/Tarolink/TestSupport.h"
#include "tests/worker/WorkerTestSupport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace tarovex::worker;
using tarovex::config::Config;
using tarovex::config::ConfigHelper::Instrument;
using Clock = std::chrono::steady_clock;

namespace {

// Rfc2217Direct: ser2net without its character delay, which otherwise makes most of the
// latency over the network.
enum Transport { LocalPty = 0, Rfc2217 = 1, RawTcp = 2, Rfc2217Direct = 3 };

void setUp() {
    static int argc = 1;
    static char name[] = "bench_network";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = nullptr;
    if (!app) {
        Tarolink::SystemProperties::set("TLK_OSNAME", "Linux");
        app = new QCoreApplication(argc, argv);
        Tarolink::SerialPortLocal::reloadLibrary();
    }
}

bool runUntil(const std::function<bool()>& done) {
    return worker_test::runUntil(done, 60000);
}

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

// A terminal, and the port name that reaches it over the chosen transport.
struct Device {
    explicit Device(Transport t) {
        if (t != LocalPty)
            server = std::make_unique<tarovex_test::Ser2netServer>(pty.slavePath(), t != RawTcp,
                                                                   t != Rfc2217Direct);
    }
    std::string port() const { return server ? server->url() : pty.slavePath(); }
    // ser2net opens the terminal only after it accepted the connection; what is written
    // before that is lost.
    void awaitOpen() const {
        if (server)
            tarovex_test::awaitOtherSideOpen(pty.master());
    }
    tarolink_test::Pty pty;
    std::unique_ptr<tarovex_test::Ser2netServer> server;
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

const char* label(Transport t) {
    return t == LocalPty  ? "local pseudo-terminal"
           : t == Rfc2217 ? "ser2net RFC 2217"
           : t == RawTcp  ? "ser2net raw TCP"
                          : "ser2net RFC 2217, chardelay off";
}

void BM_LinesIntoWorker(benchmark::State& state) {
    setUp();
    const auto transport = Transport(state.range(0));
    const int lines = int(state.range(1));
    const std::string data = generatedLines(lines);
    state.SetLabel(label(transport));
    for (auto _ : state) {
        Device instrument(transport);
        CountingView view;
        auto created = createWeightWorker(view, configOn(instrument.port()));
        created.worker->start();
        instrument.awaitOpen();
        const auto start = Clock::now();
        std::thread writer([&] { instrument.pty.write(data); });
        if (!runUntil([&] { return view.received >= lines; }))
            state.SkipWithError("lines missing");
        state.SetIterationTime(std::chrono::duration<double>(view.lastArrival - start).count());
        writer.join();
        created.worker->cancel(true);
        runUntil([&] { return created.worker->isDone(); });
    }
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations() * lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LinesIntoWorker)
    ->ArgsProduct({{LocalPty, Rfc2217, RawTcp, Rfc2217Direct}, {200000}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The arrival time is taken in the view itself, so the event loop's polling does not add
// to the figure.
void BM_TerminatorToView(benchmark::State& state) {
    setUp();
    const auto transport = Transport(state.range(0));
    state.SetLabel(label(transport));
    Device instrument(transport);
    CountingView view;
    auto created = createWeightWorker(view, configOn(instrument.port()));
    created.worker->start();
    instrument.awaitOpen();
    std::vector<double> micros;
    long expected = 0;
    for (auto _ : state) {
        instrument.pty.write("ST,GS,+  12.5");
        ++expected;
        const auto sent = Clock::now();
        instrument.pty.write(" g\r");
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
BENCHMARK(BM_TerminatorToView)
    ->Arg(LocalPty)
    ->Arg(Rfc2217)
    ->Arg(RawTcp)
    ->Arg(Rfc2217Direct)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

} // namespace
