#include "reading/DataLine.h"
#include "worker/ValueExtractor.h"

#include <benchmark/benchmark.h>

using tarovex::reading::DataLine;
using tarovex::worker::ValueExtractor;

// The per-line cost of finding the value, for typical balance lines.

static void extractDefault(benchmark::State& state) {
    const ValueExtractor extractor(QStringLiteral("([-+]?\\s*[0-9]*[\\.,]?[0-9]+)"), 1);
    const QString line = ValueExtractor::fromBytes("ST,GS,+  12.50 g\r\n");
    for (auto _ : state)
        benchmark::DoNotOptimize(extractor.extract(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(extractDefault);

static void extractAnchoredWithUnit(benchmark::State& state) {
    const ValueExtractor extractor(QStringLiteral("^N.*?(-?\\s*[0-9]*[\\.,]?[0-9]+)\\s*kg"), 1);
    const QString line = ValueExtractor::fromBytes("N  60.24 kg\n");
    for (auto _ : state)
        benchmark::DoNotOptimize(extractor.extract(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(extractAnchoredWithUnit);

static void extractNoMatch(benchmark::State& state) {
    const ValueExtractor extractor(QStringLiteral("([-+]?\\s*[0-9]*[\\.,]?[0-9]+)"), 1);
    const QString line = ValueExtractor::fromBytes("Scale ID         \r");
    for (auto _ : state)
        benchmark::DoNotOptimize(extractor.extract(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(extractNoMatch);

static void bytesToLineAndRecord(benchmark::State& state) {
    const QByteArray bytes("ST,GS,+  12.50 g\r\n");
    int count = 0;
    for (auto _ : state) {
        DataLine line(ValueExtractor::fromBytes(bytes), QStringLiteral("12.50"), ++count,
                      DataLine::Instant::clock::now(), false);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(bytesToLineAndRecord);
