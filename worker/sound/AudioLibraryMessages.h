#pragma once

namespace tarovex::worker {

// Stops the platform's audio library from printing its own diagnostics: a failure to open
// an audio device reaches the user once, in the sound output's error text.
void quietAudioLibraryMessages();

} // namespace tarovex::worker
