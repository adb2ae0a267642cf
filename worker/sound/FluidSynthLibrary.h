#pragma once

#include <fluidsynth.h>

#include <string>

namespace tarovex::worker {

// The FluidSynth functions the sound output calls, from the library loaded when the first
// sound starts: linked, its audio servers, codecs and SDL would be some thirty libraries
// loaded at every program start.
#define TAROVEX_FLUIDSYNTH_FUNCTIONS(X) \
    X(delete_fluid_audio_driver) \
    X(delete_fluid_event) \
    X(delete_fluid_sequencer) \
    X(delete_fluid_settings) \
    X(delete_fluid_synth) \
    X(fluid_event_noteoff) \
    X(fluid_event_noteon) \
    X(fluid_event_set_dest) \
    X(fluid_event_set_source) \
    X(fluid_sequencer_register_fluidsynth) \
    X(fluid_sequencer_remove_events) \
    X(fluid_sequencer_send_at) \
    X(fluid_sequencer_send_now) \
    X(fluid_set_log_function) \
    X(fluid_settings_foreach_option) \
    X(fluid_settings_get_type) \
    X(fluid_settings_getint) \
    X(fluid_settings_getnum) \
    X(fluid_settings_setint) \
    X(fluid_settings_setnum) \
    X(fluid_settings_setstr) \
    X(fluid_sfont_get_preset) \
    X(fluid_synth_get_sfont_by_id) \
    X(fluid_synth_get_voicelist) \
    X(fluid_synth_sfload) \
    X(fluid_synth_sfunload) \
    X(fluid_synth_write_float) \
    X(fluid_voice_get_channel) \
    X(fluid_voice_get_key) \
    X(fluid_voice_is_on) \
    X(new_fluid_audio_driver) \
    X(new_fluid_event) \
    X(new_fluid_sequencer2) \
    X(new_fluid_settings) \
    X(new_fluid_synth)

struct FluidSynthLibrary {
#define TAROVEX_FLUIDSYNTH_MEMBER(name) decltype(&::name) name = nullptr;
    TAROVEX_FLUIDSYNTH_FUNCTIONS(TAROVEX_FLUIDSYNTH_MEMBER)
#undef TAROVEX_FLUIDSYNTH_MEMBER
};

// The library, loaded by the first call; nullptr, with `why` set, when it or one of its
// functions cannot be had. Thread-safe.
const FluidSynthLibrary* fluidSynth(std::string* why = nullptr);

} // namespace tarovex::worker
