#pragma once

#include "tarovex/RunServices.h"
#include "worker/sound/SoundStart.h"

namespace tarovex {

// The parts of a run on this machine. The sound plays through the platform's synthesizer;
// `soundBackend` replaces it (tests).
RunServices platformServices(worker::SoundBackend soundBackend = worker::platformSoundBackend());

} // namespace tarovex
