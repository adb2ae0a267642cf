// Lines per second through the per-line processing of a run: extraction with the
// default expression, edit, character removal, white-space removal and formatting.
#include "config/Config.h"
#include "reading/DataLine.h"
#include "worker/ValueExtractor.h"
#include "worker/ValueProcessor.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QStringList>

#include <chrono>
#include <vector>

using tarovex::config::Config;
using tarovex::config::ConfigHelper::EditOperation;
using tarovex::config::ConfigHelper::EditPosition;
using tarovex::config::ConfigHelper::Instrument;
using tarovex::config::ConfigHelper::MathOperation;
using tarovex::config::ConfigHelper::RoundingMethod;
using tarovex::reading::DataLine;
using tarovex::worker::ValueExtractor;
using tarovex::worker::ValueProcessor;

namespace {

const QString kDefaultExpression = QStringLiteral(R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+))re");

QStringList realisticLines() {
    return {
        QString::fromLatin1("ST,GS,+  12.50 g\r"),
        QString::fromLatin1("  -1.8999 kg\n"),
        QString::fromLatin1("4006381333931\r"),
        QString::fromLatin1("US,NT,-   0.125 kg\r\n"),
        QString::fromLatin1("N     +    1234.5678 g  \r\n"),
        QString::fromLatin1("9783161484100\r"),
        QString::fromLatin1("+0001,25\r"),
        QString::fromLatin1("S S     100.0 g\r\n"),
    };
}

Config roundingConfig() {
    Config c = Config::defaultsOf(Instrument::GENERIC);
    c.setInstrument(Instrument::GENERIC);
    c.setDecimalPlaces("2");
    c.setRoundingMethod(RoundingMethod::HALF_UP);
    return c;
}

void run(benchmark::State& state, const Config& config) {
    const ValueExtractor extractor(kDefaultExpression, 1);
    ValueProcessor processor(config);
    const QStringList lines = realisticLines();
    qsizetype i = 0;
    for (auto _ : state) {
        const QString& raw = lines[i];
        i = (i + 1) % lines.size();
        const std::optional<QString> value = extractor.extract(raw);
        QString processed = processor.process(value.value_or(QString()));
        benchmark::DoNotOptimize(processed);
    }
    state.SetItemsProcessed(state.iterations());
}

// The default case: rounding to two places, nothing else.
void BM_ProcessLineRounding(benchmark::State& state) {
    run(state, roundingConfig());
}
BENCHMARK(BM_ProcessLineRounding);

// Every step in use: edit, removal, multiplication and rounding.
void BM_ProcessLineAllSteps(benchmark::State& state) {
    Config c = roundingConfig();
    c.setEditOperation(EditOperation::KEEP);
    c.setEditPosition(EditPosition::LAST);
    c.setEditNumCharacters("12");
    c.setRemoveCharacters("g");
    c.setMathOperation(MathOperation::MULTIPLY);
    c.setMathOperand("0.001");
    run(state, c);
}
BENCHMARK(BM_ProcessLineAllSteps);

// The whole completion of a line as the worker does it: the received bytes become the raw
// text, then extraction, processing, time stamp and the DataLine record.
void BM_CompleteLine(benchmark::State& state) {
    const ValueExtractor extractor(kDefaultExpression, 1);
    ValueProcessor processor(roundingConfig());
    std::vector<QByteArray> lines;
    for (const QString& l : realisticLines())
        lines.push_back(l.toLatin1());
    std::size_t i = 0;
    std::int32_t count = 0;
    for (auto _ : state) {
        const QByteArray& bytes = lines[i];
        i = (i + 1) % lines.size();
        QString raw = ValueExtractor::fromBytes(bytes);
        const std::optional<QString> value = extractor.extract(raw);
        QString processed = processor.process(value.value_or(QString()));
        DataLine line(std::move(raw), std::move(processed), ++count, std::chrono::system_clock::now(), false);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompleteLine);

// The extraction alone, for comparison.
void BM_ExtractOnly(benchmark::State& state) {
    const ValueExtractor extractor(kDefaultExpression, 1);
    const QStringList lines = realisticLines();
    qsizetype i = 0;
    for (auto _ : state) {
        auto value = extractor.extract(lines[i]);
        i = (i + 1) % lines.size();
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExtractOnly);

// The formatting alone.
void BM_FormatOnly(benchmark::State& state) {
    ValueProcessor processor(roundingConfig());
    const QStringList values = {"+12.50", "-1.8999", "4006381333931", "-0.125", "+1234.5678", "100.0"};
    qsizetype i = 0;
    for (auto _ : state) {
        QString processed = processor.process(values[i]);
        i = (i + 1) % values.size();
        benchmark::DoNotOptimize(processed);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatOnly);

} // namespace
