// The sound output: how long a SoundBot takes to build (synthesizer and soundfont), and
// how long after play() the first audible sample leaves the synthesizer at the audio
// driver's period.
//
// With no sound device (CI, containers) the synthesizer renders to memory period by
// period, as the driver's thread would. The delay to the speaker is then at most
//   one period (the driver's next render) + the audible offset in the rendered stream
//   + the driver's buffer (periods x period),
// reported as worst_delay_ms; the first two are measured, the buffer comes from the
// driver's settings.
#include "config/ConfigHelper.h"
#include "worker/sound/SoundBot.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

using tarovex::worker::SoundBot;
using tarovex::worker::SoundBotOptions;
using tarovex::worker::SoundError;
using Sound = tarovex::config::ConfigHelper::Sound;

namespace {

constexpr float kAudible = 0.001f; // -60 dBFS

SoundBotOptions inMemory() {
    SoundBotOptions o;
    o.output = SoundBotOptions::Output::Memory;
    return o;
}

void BM_ConstructInMemory(benchmark::State& state) {
    for (auto _ : state) {
        SoundBot bot(Sound::COWBELL.getPercussionNumber(), inMemory());
        benchmark::DoNotOptimize(bot.sampleRate());
    }
}
BENCHMARK(BM_ConstructInMemory)->Unit(benchmark::kMillisecond)->Iterations(20);

// With the desktop's audio output; skipped where there is none.
void BM_ConstructWithDevice(benchmark::State& state) {
    for (auto _ : state) {
        try {
            SoundBot bot(Sound::COWBELL.getPercussionNumber());
            state.SetLabel(bot.audioDriver());
        } catch (const SoundError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
}
BENCHMARK(BM_ConstructWithDevice)->Unit(benchmark::kMillisecond)->Iterations(10);

// The ALSA driver on ALSA's "null" device (which discards the samples): the cost of
// starting a driver and its thread where no sound device exists.
void BM_ConstructWithAlsaNullDevice(benchmark::State& state) {
    SoundBotOptions o;
    o.audioDrivers = {"alsa"};
    o.settings = {{"audio.alsa.device", "null"}};
    for (auto _ : state) {
        try {
            SoundBot bot(Sound::COWBELL.getPercussionNumber(), o);
            benchmark::DoNotOptimize(bot.sampleRate());
        } catch (const SoundError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
}
BENCHMARK(BM_ConstructWithAlsaNullDevice)->Unit(benchmark::kMillisecond)->Iterations(10);

// Argument: the percussion note of a preset.
void BM_PlayToFirstAudibleSample(benchmark::State& state) {
    SoundBot bot(static_cast<int>(state.range(0)), inMemory());
    const int period = bot.periodSize();
    double offsetFrames = 0;
    for (auto _ : state) {
        int frames = 0;
        bot.play();
        for (bool audible = false; !audible && frames < bot.sampleRate();) {
            const std::vector<float> block = bot.render(period);
            for (float s : block) {
                if (std::fabs(s) >= kAudible) {
                    audible = true;
                    break;
                }
                ++frames;
            }
        }
        offsetFrames += frames;
        state.PauseTiming();
        bot.render(static_cast<int>(bot.sampleRate())); // let the note die away
        state.ResumeTiming();
    }
    const double msPerFrame = 1000 / bot.sampleRate();
    const double offsetMs = offsetFrames / state.iterations() * msPerFrame;
    state.counters["period_ms"] = period * msPerFrame;
    state.counters["audible_offset_ms"] = offsetMs;
    state.counters["driver_buffer_ms"] = period * bot.periods() * msPerFrame;
    state.counters["worst_delay_ms"] = (period + period * bot.periods()) * msPerFrame + offsetMs;
}
BENCHMARK(BM_PlayToFirstAudibleSample)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(50)
    ->ArgName("note")
    ->Arg(53)
    ->Arg(56)
    ->Arg(67)
    ->Arg(68)
    ->Arg(75)
    ->Arg(81);

} // namespace
