#pragma once

#include "worker/sound/SoundOutput.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarovex::worker {

// Why a SoundBot could not be built. The message says which part failed and why.
class SoundError : public std::runtime_error {
public:
    enum class Kind { NoSoundfont, NoAudioDevice, NoSynthesizer };
    SoundError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

struct SoundBotOptions {
    enum class Output {
        Device, // the first audio driver of `audioDrivers` that opens
        Memory, // no audio driver: the samples are taken with SoundBot::render()
    };
    Output output = Output::Device;
    // Tried in order; the first that loads and has the General MIDI percussion set is used.
    std::vector<std::string> soundfonts = defaultSoundfonts();
    // FluidSynth audio driver names, in order of preference; one this FluidSynth lacks is skipped.
    std::vector<std::string> audioDrivers = defaultAudioDrivers();
    // More FluidSynth string settings, such as a driver's device ("audio.alsa.device").
    std::vector<std::pair<std::string, std::string>> settings;
    // How long one audio driver may take to open, and close() to release it, before the
    // sound server is taken as stuck.
    std::chrono::milliseconds driverTimeout{2000};

    static std::vector<std::string> defaultSoundfonts();
    static std::vector<std::string> defaultAudioDrivers();
};

// The sound output on FluidSynth: one General MIDI percussion note (channel 10, velocity
// 127) of 125 ms per play(), the length of one tick at 4 ticks per beat and 120 beats per
// minute. The note-off is scheduled on FluidSynth's sequencer, which runs on the audio
// clock, so play() never waits and the note length holds in rendered samples too.
// play() and close() may be called from any thread.
class SoundBot : public SoundOutput {
public:
    static constexpr int kPercussionChannel = 9; // MIDI channel 10
    static constexpr int kVelocity = 127;
    static constexpr unsigned kNoteMs = 125;

    // Loads the soundfont and opens the audio output. Throws SoundError.
    explicit SoundBot(int note, const SoundBotOptions& options = {});
    ~SoundBot() override;
    SoundBot(const SoundBot&) = delete;
    SoundBot& operator=(const SoundBot&) = delete;

    void play() override;
    void close() override;

    int note() const { return note_; }
    // The soundfont file in use and the audio driver that opened ("" for Output::Memory).
    const std::string& soundfont() const { return soundfont_; }
    const std::string& audioDriver() const { return audioDriver_; }
    double sampleRate() const { return sampleRate_; }
    // The driver's period in frames (audio.period-size) and its number of periods.
    int periodSize() const { return periodSize_; }
    int periods() const { return periods_; }
    // True between a note-on and its note-off.
    bool isNoteHeld() const;
    // Output::Memory only: synthesizes the next `frames` frames and returns them mixed to
    // mono. Empty after close() or with an audio driver.
    std::vector<float> render(int frames);

    struct Engine;

private:
    int note_;
    std::string soundfont_;
    std::string audioDriver_;
    double sampleRate_ = 0;
    int periodSize_ = 0;
    int periods_ = 0;
    std::chrono::milliseconds closeTimeout_;
    mutable std::mutex mutex_;
    std::shared_ptr<Engine> engine_;
};

} // namespace tarovex::worker
