// Typing speed through the X11 backend, against an Xvfb of its own: characters per second
// at delay 0, and how long one value takes at the default delay next to its pause count.
#include "config/KeyCodes.h"
#include "tests/XvfbServer.h"
#include "typing/InterpretingSynthesizer.h"
#include "typing/Keybot.h"
#include "typing/X11KeyOutput.h"

#include <benchmark/benchmark.h>

#include <QString>

using namespace tarovex;
using namespace tarovex::typing;
namespace ConfigHelper = config::ConfigHelper;

namespace {

tarovex_test::XvfbServer& server() {
    static tarovex_test::XvfbServer instance;
    return instance;
}

// Counts the pauses the Keybot asks for and passes everything on to the real output.
class PauseCounter : public KeySynthesizer {
public:
    PauseCounter(std::unique_ptr<KeySynthesizer> inner, long& pauses) : inner_(std::move(inner)), pauses_(pauses) {}
    void press(int code) override { inner_->press(code); }
    void release(int code) override { inner_->release(code); }
    void delay(int ms) override {
        ++pauses_;
        inner_->delay(ms);
    }

private:
    std::unique_ptr<KeySynthesizer> inner_;
    long& pauses_;
};

class SilentView : public TypingLog {
public:
    void logEvent(const QString&) override {}
    void logImportantEvent(const QString&) override { ++errors; }
    QString text(TypingText) const override { return {}; }
    int errors = 0;
};

} // namespace

static void BM_X11TypeCharacter(benchmark::State& state) {
    X11KeyOutput output(server().display());
    const char32_t text[] = U"12.5 kg Aa@#{}~";
    std::size_t i = 0;
    for (auto _ : state)
        output.type(TypedKey{text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_X11TypeCharacter);

// One value at the default delay of 20 ms with ENTER as terminator, on QUERTY.
// The "pauses" counter times 20 ms is what the delays alone cost; the rest is the output.
static void BM_ValueAtDefaultDelay(benchmark::State& state, const char* value, int startWith) {
    constexpr int kDefaultDelay = 20;
    long pauses = 0;
    SilentView view;
    typing::KeystrokeQueue queue;
    auto output = std::make_unique<X11KeyOutput>(server().display());
    auto synthesizer = std::make_unique<InterpretingSynthesizer>(ConfigHelper::KeyboardType::QUERTY, std::move(output));
    typing::Keybot keybot(kDefaultDelay, startWith, config::KeyCodes::VK_ENTER, 0, 0,
                          ConfigHelper::KeyboardType::QUERTY, ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE,
                          view, std::make_unique<PauseCounter>(std::move(synthesizer), pauses), queue);
    const QString text = QString::fromUtf8(value);
    for (auto _ : state)
        keybot.typeValue(text);
    const double perValue = double(pauses) / double(state.iterations());
    state.counters["pauses"] = perValue;
    state.counters["pause_ms"] = perValue * kDefaultDelay;
    state.counters["errors"] = view.errors;
}
BENCHMARK_CAPTURE(BM_ValueAtDefaultDelay, digits_12.50, "12.50", 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ValueAtDefaultDelay, weight_-1234.567_kg, "-1234.567 kg", 0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ValueAtDefaultDelay, tab_then_12.50, "12.50", config::KeyCodes::VK_TAB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same value at delay 0, typed as a plain value and as the steps of the template
// "{value}{ENTER}": what a template adds to typing.
static void BM_ValueAtDelayZero(benchmark::State& state, bool templated) {
    SilentView view;
    typing::KeystrokeQueue queue;
    auto output = std::make_unique<X11KeyOutput>(server().display());
    typing::Keybot keybot(
        0, 0, config::KeyCodes::VK_ENTER, 0, 0, ConfigHelper::KeyboardType::QUERTY,
        ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE, view,
        std::make_unique<InterpretingSynthesizer>(ConfigHelper::KeyboardType::QUERTY, std::move(output)),
        queue);
    const QString text = QStringLiteral("-1234.567 kg");
    using Step = reading::OutputStep;
    const std::vector<typing::RowPart> row{
        {text,
         0,
         0,
         {Step{Step::Kind::Text, text, 0}, Step{Step::Kind::Key, {}, config::KeyCodes::VK_ENTER}}}};
    for (auto _ : state)
        benchmark::DoNotOptimize(templated ? keybot.typeRow(row) : keybot.typeValue(text));
    state.SetItemsProcessed(state.iterations() * (text.size() + 1));
    state.counters["errors"] = view.errors;
}
BENCHMARK_CAPTURE(BM_ValueAtDelayZero, plain, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ValueAtDelayZero, template, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
