#pragma once

#include "config/ConfigHelper.h"
#include "worker/sound/SoundOutput.h"

#include <QString>

#include <functional>
#include <memory>

namespace tarovex::worker {

// Builds the sound output for a percussion note; throws on failure.
using SoundBackend = std::function<std::unique_ptr<SoundOutput>(int note)>;

// The platform's sound output (SoundBot on FluidSynth).
SoundBackend platformSoundBackend();

// What starting the sound of a run gave: an output, or nothing, with the failure's message
// when there was one (the run goes on without sound).
struct SoundStart {
    std::unique_ptr<SoundOutput> output;
    QString error;
};

// NONE creates nothing at all; any other value builds the backend's output for its note.
SoundStart startSound(config::ConfigHelper::Sound sound,
                      const SoundBackend& backend = platformSoundBackend());

} // namespace tarovex::worker
