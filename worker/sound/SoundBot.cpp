#include "worker/sound/SoundBot.h"

#include "worker/sound/AudioLibraryMessages.h"
#include "worker/sound/BoundedCall.h"
#include "worker/sound/FluidSynthLibrary.h"


#include <algorithm>
#include <filesystem>

namespace tarovex::worker {

namespace {

// FluidSynth, once createSynthesizer() has found it loaded.
const FluidSynthLibrary& fs() {
    return *fluidSynth();
}

// The smallest General MIDI soundfont of the distribution whose percussion notes end
// cleanly (timgm6mb-soundfont, 6 MB; csound's 4 MB bank ends its cowbell with a click), then
// the distribution's default General MIDI soundfont, whichever package provides it.
const char* const kSoundfonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
};
const char* const kSoundfontPackage = "timgm6mb-soundfont";

// What the desktop uses, best first. Debian's FluidSynth 2.3 has no PipeWire driver; there
// the PulseAudio driver reaches PipeWire through its PulseAudio server.
const char* const kAudioDrivers[] = {"pipewire", "pulseaudio", "alsa"};

constexpr int kDrumBank = 128; // where a soundfont keeps its percussion kits
// Short periods keep the note prompt: 8 x 64 frames buffer 11.6 ms at 44.1 kHz.
constexpr int kPeriodSize = 64;
constexpr int kPeriods = 8;
// The percussion samples peak around -20 dBFS at FluidSynth's default gain of 0.2.
constexpr double kGain = 0.5;

// FluidSynth reports through one process-wide log hook. Errors are collected by the thread
// that asked for them, to go into our own error texts; nothing is printed.
thread_local std::string* collectedErrors = nullptr;

void onFluidLog(int level, const char* message, void*) {
    if (!collectedErrors || (level != FLUID_PANIC && level != FLUID_ERR) || !message)
        return;
    std::string text(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!collectedErrors->empty())
        *collectedErrors += "; ";
    *collectedErrors += text;
}

void routeFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fs().fluid_set_log_function(level, onFluidLog, nullptr);
        quietAudioLibraryMessages();
    });
}

struct CollectErrors {
    std::string text;
    std::string* outer = collectedErrors;
    CollectErrors() { collectedErrors = &text; }
    ~CollectErrors() { collectedErrors = outer; }
    std::string reason(const char* otherwise) const { return text.empty() ? otherwise : text; }
};

void append(std::string& list, const std::string& item) {
    if (!list.empty())
        list += "; ";
    list += item;
}

std::vector<std::string> availableDrivers(fluid_settings_t* settings) {
    std::vector<std::string> names;
    fs().fluid_settings_foreach_option(settings, "audio.driver", &names,
                                  [](void* data, const char*, const char* option) {
                                      static_cast<std::vector<std::string>*>(data)->emplace_back(option);
                                  });
    return names;
}

void applySetting(fluid_settings_t* settings, const std::string& name, const std::string& value) {
    bool ok = false;
    switch (fs().fluid_settings_get_type(settings, name.c_str())) {
    case FLUID_STR_TYPE:
        ok = fs().fluid_settings_setstr(settings, name.c_str(), value.c_str()) == FLUID_OK;
        break;
    case FLUID_INT_TYPE:
        ok = fs().fluid_settings_setint(settings, name.c_str(), std::stoi(value)) == FLUID_OK;
        break;
    case FLUID_NUM_TYPE:
        ok = fs().fluid_settings_setnum(settings, name.c_str(), std::stod(value)) == FLUID_OK;
        break;
    default:
        break;
    }
    if (!ok)
        throw std::invalid_argument("FluidSynth setting " + name + " cannot be set to " + value);
}

} // namespace

// Owns the FluidSynth objects. Shared with a driver call that may outlive its wait, so
// that nothing it uses goes away under it.
struct SoundBot::Engine {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_sequencer_t* sequencer = nullptr;
    fluid_seq_id_t synthClient = -1;
    fluid_event_t* event = nullptr;
    fluid_audio_driver_t* driver = nullptr;

    ~Engine() {
        // The driver renders from the synthesizer, the sequencer plays on it.
        if (driver)
            fs().delete_fluid_audio_driver(driver);
        if (event)
            fs().delete_fluid_event(event);
        if (sequencer)
            fs().delete_fluid_sequencer(sequencer);
        if (synth)
            fs().delete_fluid_synth(synth);
        if (settings)
            fs().delete_fluid_settings(settings);
    }
};

std::vector<std::string> SoundBotOptions::defaultSoundfonts() {
    return {std::begin(kSoundfonts), std::end(kSoundfonts)};
}

std::vector<std::string> SoundBotOptions::defaultAudioDrivers() {
    return {std::begin(kAudioDrivers), std::end(kAudioDrivers)};
}

namespace {

using Kind = SoundError::Kind;

void createSynthesizer(SoundBot::Engine& e, const SoundBotOptions& options) {
    e.settings = fs().new_fluid_settings();
    if (!e.settings)
        throw SoundError(Kind::NoSynthesizer,
                         "The synthesizer cannot be created: no memory for its settings");
    // Only the samples of the selected presets are read, which keeps construction short.
    fs().fluid_settings_setint(e.settings, "synth.dynamic-sample-loading", 1);
    // A confirmation note needs no room around it.
    fs().fluid_settings_setint(e.settings, "synth.reverb.active", 0);
    fs().fluid_settings_setint(e.settings, "synth.chorus.active", 0);
    fs().fluid_settings_setnum(e.settings, "synth.gain", kGain);
    fs().fluid_settings_setint(e.settings, "audio.period-size", kPeriodSize);
    fs().fluid_settings_setint(e.settings, "audio.periods", kPeriods);
    for (const auto& [name, value] : options.settings)
        applySetting(e.settings, name, value);

    CollectErrors errors;
    e.synth = fs().new_fluid_synth(e.settings);
    if (!e.synth)
        throw SoundError(Kind::NoSynthesizer,
                         "The synthesizer cannot be created: " + errors.reason("FluidSynth refused"));
    // The sequencer runs on the synthesizer's sample clock (no system timer).
    e.sequencer = fs().new_fluid_sequencer2(0);
    e.event = fs().new_fluid_event();
    if (!e.sequencer || !e.event)
        throw SoundError(Kind::NoSynthesizer, "The synthesizer cannot be created: no sequencer");
    e.synthClient = fs().fluid_sequencer_register_fluidsynth(e.sequencer, e.synth);
    if (e.synthClient == FLUID_FAILED)
        throw SoundError(Kind::NoSynthesizer, "The synthesizer cannot be created: " +
                                                  errors.reason("its sequencer cannot be attached"));
    fs().fluid_event_set_source(e.event, -1);
    fs().fluid_event_set_dest(e.event, e.synthClient);
}

std::string loadSoundfont(SoundBot::Engine& e, const std::vector<std::string>& candidates) {
    std::string tried;
    for (const std::string& path : candidates) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            append(tried, path + ": not found");
            continue;
        }
        CollectErrors errors;
        const int id = fs().fluid_synth_sfload(e.synth, path.c_str(), 1);
        if (id == FLUID_FAILED) {
            append(tried, path + ": " + errors.reason("cannot be loaded"));
            continue;
        }
        if (!fs().fluid_sfont_get_preset(fs().fluid_synth_get_sfont_by_id(e.synth, id), kDrumBank, 0)) {
            append(tried, path + ": no percussion set");
            fs().fluid_synth_sfunload(e.synth, id, 1);
            continue;
        }
        return path;
    }
    if (candidates.empty())
        tried = "none named";
    throw SoundError(Kind::NoSoundfont, "No soundfont with the General MIDI percussion set (" + tried +
                                            "); the package " + kSoundfontPackage + " provides one");
}

// Opens the first driver that works. A driver that does not answer in time ends the search:
// the ones after it (ALSA's default device on a desktop) lead to the same sound server.
std::string openAudioDriver(const std::shared_ptr<SoundBot::Engine>& engine, const SoundBotOptions& options) {
    const std::vector<std::string> available = availableDrivers(engine->settings);
    std::string reasons;
    for (const std::string& name : options.audioDrivers) {
        if (std::find(available.begin(), available.end(), name) == available.end()) {
            append(reasons, name + ": not in this FluidSynth");
            continue;
        }
        fs().fluid_settings_setstr(engine->settings, "audio.driver", name.c_str());
        struct Attempt {
            std::mutex mutex;
            bool abandoned = false;
            fluid_audio_driver_t* driver = nullptr;
            std::string errors;
        };
        auto attempt = std::make_shared<Attempt>();
        callWithin(options.driverTimeout, [engine, attempt] {
            CollectErrors errors;
            fluid_audio_driver_t* driver = fs().new_fluid_audio_driver(engine->settings, engine->synth);
            std::lock_guard lock(attempt->mutex);
            if (attempt->abandoned) {
                if (driver)
                    fs().delete_fluid_audio_driver(driver);
                return;
            }
            attempt->driver = driver;
            attempt->errors = errors.reason("cannot be opened");
        });
        std::lock_guard lock(attempt->mutex);
        if (attempt->driver) {
            engine->driver = attempt->driver;
            return name;
        }
        if (attempt->errors.empty()) { // still waiting for the server
            attempt->abandoned = true;
            append(reasons,
                   name + ": no answer within " + std::to_string(options.driverTimeout.count()) + " ms");
            break;
        }
        append(reasons, name + ": " + attempt->errors);
    }
    if (options.audioDrivers.empty())
        reasons = "no audio driver to try";
    throw SoundError(Kind::NoAudioDevice, "No audio device (" + reasons + ")");
}

} // namespace

SoundBot::SoundBot(int note, const SoundBotOptions& options)
    : note_(note), closeTimeout_(options.driverTimeout) {
    std::string why;
    if (!fluidSynth(&why))
        throw SoundError(SoundError::Kind::NoSynthesizer, "The synthesizer cannot be created: " + why);
    routeFluidLog();
    auto engine = std::make_shared<Engine>();
    createSynthesizer(*engine, options);
    soundfont_ = loadSoundfont(*engine, options.soundfonts);
    fs().fluid_settings_getnum(engine->settings, "synth.sample-rate", &sampleRate_);
    fs().fluid_settings_getint(engine->settings, "audio.period-size", &periodSize_);
    fs().fluid_settings_getint(engine->settings, "audio.periods", &periods_);
    if (options.output == SoundBotOptions::Output::Device)
        audioDriver_ = openAudioDriver(engine, options);
    engine_ = std::move(engine);
}

SoundBot::~SoundBot() {
    close();
}

void SoundBot::play() {
    std::lock_guard lock(mutex_);
    if (!engine_)
        return;
    fluid_sequencer_t* seq = engine_->sequencer;
    fluid_event_t* ev = engine_->event;
    // A note still sounding starts again: its pending note-off goes, it is ended now.
    fs().fluid_sequencer_remove_events(seq, -1, engine_->synthClient, FLUID_SEQ_NOTEOFF);
    fs().fluid_event_noteoff(ev, kPercussionChannel, static_cast<short>(note_));
    fs().fluid_sequencer_send_now(seq, ev);
    fs().fluid_event_noteon(ev, kPercussionChannel, static_cast<short>(note_), kVelocity);
    fs().fluid_sequencer_send_now(seq, ev);
    fs().fluid_event_noteoff(ev, kPercussionChannel, static_cast<short>(note_));
    fs().fluid_sequencer_send_at(seq, ev, kNoteMs, 0);
}

void SoundBot::close() {
    std::shared_ptr<Engine> engine;
    {
        std::lock_guard lock(mutex_);
        engine = std::move(engine_);
    }
    if (!engine)
        return;
    // Closing the driver joins its thread, which a stuck sound server can hold up.
    callWithin(closeTimeout_, [engine = std::move(engine)]() mutable { engine.reset(); });
}

bool SoundBot::isNoteHeld() const {
    std::lock_guard lock(mutex_);
    if (!engine_)
        return false;
    fluid_voice_t* voices[64] = {};
    fs().fluid_synth_get_voicelist(engine_->synth, voices, std::size(voices), -1);
    for (fluid_voice_t* v : voices) {
        if (v && fs().fluid_voice_get_channel(v) == kPercussionChannel && fs().fluid_voice_get_key(v) == note_ &&
            fs().fluid_voice_is_on(v))
            return true;
    }
    return false;
}

std::vector<float> SoundBot::render(int frames) {
    std::lock_guard lock(mutex_);
    if (!engine_ || engine_->driver || frames <= 0)
        return {};
    std::vector<float> left(frames), right(frames);
    fs().fluid_synth_write_float(engine_->synth, frames, left.data(), 0, 1, right.data(), 0, 1);
    for (int i = 0; i < frames; ++i)
        left[i] = (left[i] + right[i]) / 2;
    return left;
}

} // namespace tarovex::worker
