// Characters per second through the X11 backend at delay 0, against an Xvfb of its own.
#include "tests/XvfbServer.h"
#include "worker/keys/X11KeyOutput.h"

#include <benchmark/benchmark.h>

using namespace tarovex::worker::keys;

static void BM_X11TypeCharacter(benchmark::State& state) {
    static tarovex_test::XvfbServer server;
    X11KeyOutput output(server.display());
    const char32_t text[] = U"12.5 kg Aa@#{}~";
    std::size_t i = 0;
    for (auto _ : state)
        output.type(TypedKey{text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_X11TypeCharacter);
