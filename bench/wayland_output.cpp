// Typing speed through the Wayland virtual keyboard, on a headless sway of its own with the
// test suite's Wayland recorder focused: characters per second at delay 0, and how long a new
// keyboard takes until its first character is sent. The same through GNOME's remote desktop,
// on a headless Mutter with a terminal (foot) focused, until the first character arrives there,
// through the desktop portal on such a Mutter, and through KWin's fake input, on KWin's
// virtual backend with the Wayland recorder focused.
#include "tests/KwinServer.h"
#include "tests/MutterServer.h"
#include "tests/SwayServer.h"
#include "tests/tools/ProcessSupport.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandKeyOutput.h"
#endif
#include "typing/MutterKeyOutput.h"
#include "typing/PortalKeyOutput.h"
#ifdef TAROVEX_KWIN
#include "tests/XTextRecorder.h"
#include "typing/KwinKeyOutput.h"
#endif

#include <QCoreApplication>

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

namespace {

// Mutter, a keyboard for its seat (a headless one has none), and the terminal focused.
struct GnomeDesktop {
    tarovex_test::MutterServer mutter;
    std::unique_ptr<tarovex::typing::MutterKeyOutput> userKeyboard;
    std::string problem;

    GnomeDesktop() {
        if (!mutter.available()) {
            problem = mutter.reason();
            return;
        }
        mutter.openReceiver();
        userKeyboard = std::make_unique<tarovex::typing::MutterKeyOutput>(
            tarovex::typing::MutterKeyOutput::Options{mutter.busAddress(), {"us"}});
        for (int i = 0; i < 400 && !mutter.ready(); ++i) {
            if (i % 25 == 0)
                userKeyboard->type({U'.'});
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!mutter.ready())
            problem = "the terminal did not get the focus";
    }
};

GnomeDesktop& gnomeDesktop() {
    static GnomeDesktop instance;
    return instance;
}

} // namespace

static void BM_MutterTypeCharacter(benchmark::State& state) {
    if (!gnomeDesktop().problem.empty()) {
        state.SkipWithError(("no GNOME desktop: " + gnomeDesktop().problem).c_str());
        return;
    }
    tarovex::typing::MutterKeyOutput output({gnomeDesktop().mutter.busAddress(), {"us"}});
    const char32_t text[] = U"12.5 kg Aa@#{}~";
    const auto before = gnomeDesktop().mutter.receivedSize();
    std::size_t i = 0;
    for (auto _ : state)
        output.type({text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
    // Characters the terminal had received when the loop ended; the rest are on their way.
    state.counters["arrived"] =
        double(gnomeDesktop().mutter.receivedSize() - before) / double(state.iterations());
}
BENCHMARK(BM_MutterTypeCharacter)->UseRealTime();

// A new session, until its first character is in the terminal.
static void BM_MutterNewSessionToFirstCharacter(benchmark::State& state) {
    if (!gnomeDesktop().problem.empty()) {
        state.SkipWithError(("no GNOME desktop: " + gnomeDesktop().problem).c_str());
        return;
    }
    auto& mutter = gnomeDesktop().mutter;
    for (auto _ : state) {
        const auto before = mutter.receivedSize();
        auto output = std::make_unique<tarovex::typing::MutterKeyOutput>(
            tarovex::typing::MutterKeyOutput::Options{mutter.busAddress(), {"us"}});
        output->type({U'1'});
        for (int i = 0; i < 5000 && mutter.receivedSize() == before; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        state.PauseTiming();
        if (mutter.receivedSize() == before)
            state.SkipWithError("the first character did not arrive");
        output.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MutterNewSessionToFirstCharacter)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef TAROVEX_KWIN
namespace {

// KWin, granting fake input to this program, and the recorder focused.
struct KdeDesktop {
    tarovex_test::KwinServer kwin{true};
    std::unique_ptr<tarovex_test::WaylandTextRecorder> recorder;
    std::string problem;

    KdeDesktop() {
        if (!kwin.available()) {
            problem = kwin.reason();
            return;
        }
        try {
            recorder = std::make_unique<tarovex_test::WaylandTextRecorder>(kwin.socket());
        } catch (const std::exception& e) {
            problem = e.what();
        }
    }
    std::size_t received() { return recorder->transcript(0).size(); }
};

KdeDesktop& kdeDesktop() {
    static KdeDesktop instance;
    return instance;
}

} // namespace

static void BM_KwinTypeCharacter(benchmark::State& state) {
    auto& kde = kdeDesktop();
    if (!kde.problem.empty()) {
        state.SkipWithError(("no KDE desktop: " + kde.problem).c_str());
        return;
    }
    tarovex::typing::KwinKeyOutput output({kde.kwin.socket(), {"us", ""}, {}});
    const char32_t text[] = U"12.5 kg Aa@#{}~";
    const std::size_t before = kde.received();
    std::size_t i = 0;
    for (auto _ : state)
        output.type({text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
    // Every key is answered by KWin before the next; here all of them reached the recorder.
    state.counters["arrived"] =
        double(kde.recorder->transcript(before + state.iterations()).size() - before) /
        double(state.iterations());
}
// The recorder's output is read after the loop, and its pipe holds some 5,000 keys: beyond, it
// stops reading KWin, which then drops it.
BENCHMARK(BM_KwinTypeCharacter)->Iterations(3000)->UseRealTime();

// A new output, until its first character is in the recorder.
static void BM_KwinNewOutputToFirstCharacter(benchmark::State& state) {
    auto& kde = kdeDesktop();
    if (!kde.problem.empty()) {
        state.SkipWithError(("no KDE desktop: " + kde.problem).c_str());
        return;
    }
    for (auto _ : state) {
        const std::size_t before = kde.received();
        auto output = std::make_unique<tarovex::typing::KwinKeyOutput>(
            tarovex::typing::KwinKeyOutput::Options{kde.kwin.socket(), {"us", ""}, {}});
        output->type({U'1'});
        const bool arrived = kde.recorder->transcript(before + 1, 5000).size() > before;
        state.PauseTiming();
        if (!arrived)
            state.SkipWithError("the first character did not arrive");
        output.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_KwinNewOutputToFirstCharacter)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// Typing through the desktop portal, on a desktop of its own whose dialog the user's keyboard
// answers: each key is a call through the portal and its GNOME backend to Mutter.
static void BM_PortalTypeCharacter(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    tarovex_test::MutterServer mutter(true);
    if (!mutter.available()) {
        state.SkipWithError(("no GNOME desktop with the portal: " + mutter.reason()).c_str());
        return;
    }
    mutter.openReceiver();
    tarovex::typing::MutterKeyOutput userKeyboard({mutter.busAddress(), {"us"}});
    for (int i = 0; i < 400 && !mutter.ready(); ++i) {
        if (i % 25 == 0)
            userKeyboard.type({U'.'});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::unique_ptr<tarovex::typing::PortalKeyOutput> output;
    try {
        output = tarovex_test::answeringThePortalDialog(
            mutter, userKeyboard,
            [&] {
                return std::make_unique<tarovex::typing::PortalKeyOutput>(
                    tarovex::typing::PortalKeyOutput::Options{mutter.busAddress(),
                                                              {"us"},
                                                              std::chrono::seconds(20),
                                                              std::chrono::seconds(3),
                                                              "/nonexistent/token"});
            },
            tarovex_test::portalAccept);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const char32_t text[] = U"12.5 kg Aa@#{}~";
    const auto before = mutter.receivedSize();
    std::size_t i = 0;
    for (auto _ : state)
        output->type({text[i++ % (sizeof text / sizeof text[0] - 1)]});
    state.SetItemsProcessed(state.iterations());
    state.counters["arrived"] = double(mutter.receivedSize() - before) / double(state.iterations());
}
BENCHMARK(BM_PortalTypeCharacter)->UseRealTime();
