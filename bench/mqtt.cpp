// Reading-to-subscriber latency through a local Mosquitto broker: one reading handed to a
// run's recorder (journal with publishing) until a subscriber on the same broker has it.
#include "config/Config.h"
#include "journal/RunRecorder.h"
#include "tests/journal/MosquittoSupport.h"
#include "worker/DataLine.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <chrono>

using namespace tarovex;

namespace {

void BM_ReadingToSubscriber(benchmark::State& state) {
    QTemporaryDir dir;
    mqtt_test::Broker broker(dir.path());
    mqtt_test::Subscriber subscriber(broker.port(), "bench-subscriber");
    config::Config config;
    config.record.station = QStringLiteral("bench");
    config.record.mqttBroker = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    journal::RunRecorder recorder(
        config, [](const QString&) {}, dir.path() + "/journal.sqlite");
    const worker::DataLine line(QStringLiteral("ST,GS,+  12.50 g\r\n"), QStringLiteral("12.50"), 1,
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

} // namespace
