#include "worker/sound/SoundStart.h"

#include "worker/sound/SoundBot.h"

#include <exception>

namespace tarovex::worker {

SoundBackend platformSoundBackend() {
    return [](int note) { return std::make_unique<SoundBot>(note); };
}

SoundStart startSound(config::ConfigHelper::Sound sound, const SoundBackend& backend) {
    if (sound == config::ConfigHelper::Sound::NONE)
        return {};
    try {
        return {backend(sound.getPercussionNumber()), {}};
    } catch (const std::exception& e) {
        return {nullptr, QString::fromStdString(e.what())};
    }
}

} // namespace tarovex::worker
