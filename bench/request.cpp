// A reading on request end to end: SIGUSR1 to the console front end, its request through a
// pseudo-terminal to an instrument that answers at once, the value on its standard output.
#include "tests/Tarolink/TestSupport.h"
#include "tests/tools/ProcessSupport.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void BM_RequestToValue(benchmark::State& state) {
    QTemporaryDir home;
    tarolink_test::Pty pty;
    const std::map<std::string, std::string> env = {
        {"HOME", home.path().toStdString()},
        {"XDG_CONFIG_HOME", (home.path() + "/config").toStdString()},
        {"PATH", "/usr/bin:/bin"}};
    tools_test::Process console(std::string(TAROVEX_BINARY_DIR) + "/tools/tarovex-console",
                                {pty.slavePath(), "--set", "instrument=MITUTOYO"}, env);
    if (!console.waitForError("RTS: off, DTR: on.")) {
        state.SkipWithError("the console did not start");
        return;
    }
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        console.signal(SIGUSR1);
        const auto request = pty.read(2, 2000);
        if (request.size() != 2) {
            state.SkipWithError("no request came");
            return;
        }
        pty.write("01A+001.2345\r");
        if (!console.readLine(2000)) {
            state.SkipWithError("no value came");
            return;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    console.signal(SIGTERM);
    console.wait();
}
BENCHMARK(BM_RequestToValue)->Iterations(200)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
