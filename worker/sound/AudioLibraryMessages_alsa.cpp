#include "worker/sound/AudioLibraryMessages.h"

#include <alsa/asoundlib.h>

namespace tarovex::worker {

namespace {
void dropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void quietAudioLibraryMessages() {
    // Without it every missing card prints several "ALSA lib ..." lines on standard error.
    snd_lib_error_set_handler(dropAlsaMessage);
}

} // namespace tarovex::worker
