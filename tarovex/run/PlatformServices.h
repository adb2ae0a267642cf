#pragma once

#include "tarovex/run/RunServices.h"
#include "worker/sound/SoundStart.h"

namespace tarovex {

// The parts of a run on this machine: values are typed through the session's keystroke
// output, the sound plays through the platform's synthesizer; `soundBackend` replaces the
// synthesizer (tests).
RunServices platformServices(worker::SoundBackend soundBackend = worker::platformSoundBackend());

} // namespace tarovex
