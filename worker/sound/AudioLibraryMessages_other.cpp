#include "worker/sound/AudioLibraryMessages.h"

namespace tarovex::worker {

// The audio libraries FluidSynth uses elsewhere print nothing of their own.
void quietAudioLibraryMessages() {}

} // namespace tarovex::worker
