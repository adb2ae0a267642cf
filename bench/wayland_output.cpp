// Typing speed through the Wayland virtual keyboard, on a headless sway of its own with the
// test suite's Wayland recorder focused: characters per second at delay 0, and how long a new
// keyboard takes until its first character is sent.
#include "tests/SwayServer.h"
#include "tests/tools/ProcessSupport.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandKeyOutput.h"
#endif

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <stop_token>
#include <thread>

#ifdef TAROVEX_WAYLAND
using namespace tarovex::typing;

namespace {

// The compositor, a keyboard for it to have (a headless one has none, so no focus), and the
// recorder with its output read away meanwhile; `arrived` counts the keys it received.
struct Desktop {
    tarovex_test::SwayServer sway;
    std::unique_ptr<WaylandKeyOutput> userKeyboard;
    std::unique_ptr<tools_test::Process> recorder;
    std::atomic<long> arrived{0};
    std::jthread reader;

    Desktop() {
        if (!sway.available())
            return;
        userKeyboard = std::make_unique<WaylandKeyOutput>(WaylandKeyOutput::Options{sway.socket(), {}});
        recorder = std::make_unique<tools_test::Process>(
            TAROVEX_BINARY_DIR "/tests/tarovex-test-wrecorder", std::vector<std::string>{},
            std::map<std::string, std::string>{{"WAYLAND_DISPLAY", sway.socket()}});
        if (recorder->readLine(10000) != "ready")
            return;
        reader = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested())
                if (recorder->readLine(100))
                    ++arrived;
        });
    }
    ~Desktop() { reader = {}; }
    bool ready() const { return reader.joinable(); }
};

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

} // namespace

static void BM_WaylandTypeCharacter(benchmark::State& state) {
    if (!desktop().ready()) {
        state.SkipWithError(("no compositor: " + desktop().sway.reason()).c_str());
        return;
    }
    WaylandKeyOutput output({desktop().sway.socket(), U"äöüß€"});
    const char32_t text[] = U"12.5 kg Aa@#{}~äß€";
    const long before = desktop().arrived;
    std::size_t i = 0;
    for (auto _ : state)
        output.type(TypedKey{text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
    // Keys the recorder had received when the loop ended; the rest are still on their way.
    state.counters["arrived"] = double(desktop().arrived - before) / double(state.iterations());
}
BENCHMARK(BM_WaylandTypeCharacter)->UseRealTime();

static void BM_WaylandNewKeyboardToFirstCharacter(benchmark::State& state) {
    if (!desktop().ready()) {
        state.SkipWithError(("no compositor: " + desktop().sway.reason()).c_str());
        return;
    }
    for (auto _ : state) {
        auto output =
            std::make_unique<WaylandKeyOutput>(WaylandKeyOutput::Options{desktop().sway.socket(), {}});
        output->type(TypedKey{U'1'});
        state.PauseTiming();
        output.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WaylandNewKeyboardToFirstCharacter)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif
