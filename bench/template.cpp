// Readings per second through an output template: parsed once, rendered per reading into
// the steps a typer walks.
#include "reading/OutputTemplate.h"
#include "tarovex/run/OutputShaper.h"

#include <benchmark/benchmark.h>

using tarovex::reading::OutputTemplate;
using tarovex::reading::TemplateContext;

namespace {

const QString kTypical = QStringLiteral("{value} {unit}{TAB}{date:yyyy-MM-dd}{TAB}{time:HH:mm:ss}{ENTER}");

TemplateContext context() {
    TemplateContext c;
    c.value = u"12.50";
    c.raw = u"ST,GS,+  12.50 g";
    c.unit = u"g";
    c.port = u"/dev/ttyUSB0";
    c.seq = 1;
    c.time = std::chrono::system_clock::now();
    return c;
}

void renderTypical(benchmark::State& state) {
    const OutputTemplate t = std::get<OutputTemplate>(OutputTemplate::parse(kTypical));
    TemplateContext c = context();
    for (auto _ : state) {
        ++c.seq;
        c.time += std::chrono::milliseconds(1);
        benchmark::DoNotOptimize(t.render(c));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(renderTypical);

// The value between a start key and a terminator: what a run without a template amounts to.
void renderKeyed(benchmark::State& state) {
    const OutputTemplate t = std::get<OutputTemplate>(OutputTemplate::parse(u"{TAB}{value}{ENTER}"));
    const TemplateContext c = context();
    for (auto _ : state)
        benchmark::DoNotOptimize(t.render(c));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(renderKeyed);

// What a run does per reading: the unit and the value expression's groups found in the line,
// then the template rendered.
void shapeReading(benchmark::State& state) {
    tarovex::config::Config config =
        tarovex::config::Config::defaultsOf(tarovex::config::ConfigHelper::Instrument::GENERIC);
    config.setInstrument(tarovex::config::ConfigHelper::Instrument::GENERIC);
    config.setOutputTemplate(kTypical + QStringLiteral("{g1}"));
    const std::optional<tarovex::OutputShaper> shaper = tarovex::OutputShaper::make(config);
    const tarovex::reading::DataLine line(QStringLiteral("ST,GS,+  12.50 g\r\n"), QStringLiteral("12.50"), 1,
                                          std::chrono::system_clock::now(), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(shaper->shape(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(shapeReading);

void parseTypical(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(OutputTemplate::parse(kTypical));
}
BENCHMARK(parseTypical);

} // namespace
