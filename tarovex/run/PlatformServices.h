#pragma once

#include "tarovex/run/RunServices.h"
#include "typing/Clipboard.h"
#include "worker/sound/SoundStart.h"

#include <memory>

namespace tarovex {

// The parts of a run on this machine: values are typed through the session's keystroke
// output, the sound plays through the platform's synthesizer; `soundBackend` replaces the
// synthesizer (tests). Values are pasted through `clipboard` where the settings say so; the
// console has none.
RunServices platformServices(worker::SoundBackend soundBackend = worker::platformSoundBackend(),
                             std::shared_ptr<typing::Clipboard> clipboard = {});

} // namespace tarovex
