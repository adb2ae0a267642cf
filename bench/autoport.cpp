// The port detection on real pseudo-terminals: the time per probed port, against its bound
// of three waits plus opening and closing.
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"
#include "worker/autoport/AutoPortWorker.h"

#include "tests/Tarolink/TestSupport.h"
#include "tests/worker/WorkerTestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

using namespace tarovex::worker;

namespace {

struct NullView : AutoPortWorkerView {
    void setButtonToCancel() override {}
    void setButtonToClose() override {}
    void selectBestPort(const QString&) override {}
    void appendMessage(const QString&, Emphasis) override {}
};

void BM_DetectionPerPort(benchmark::State& state) {
    Tarolink::SystemProperties::set("TLK_OSNAME", "Linux");
    worker_test::application();
    Tarolink::SerialPortLocal::installDriver(std::make_shared<Tarolink::PosixSerialDriver>());
    std::vector<std::unique_ptr<tarolink_test::Pty>> ptys;
    QStringList names;
    for (int i = 0; i < state.range(0); ++i) {
        ptys.push_back(std::make_unique<tarolink_test::Pty>());
        names << QString::fromStdString(ptys.back()->slavePath());
    }
    double totalSeconds = 0;
    for (auto _ : state) {
        NullView view;
        AutoPortWorker worker(view, names);
        const auto start = std::chrono::steady_clock::now();
        worker.start();
        if (!worker_test::runUntil([&] { return worker.isDone(); }, 60000))
            state.SkipWithError("detection did not end");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        totalSeconds += took.count();
    }
    state.counters["ms_per_port"] = 1000.0 * totalSeconds / double(state.iterations() * state.range(0));
    state.counters["bound_ms"] = 3 * AutoPortWorker::kSettleMs;
}

} // namespace

BENCHMARK(BM_DetectionPerPort)->Arg(4)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
