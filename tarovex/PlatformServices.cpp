#include "tarovex/PlatformServices.h"

#include "tarovex/KeyboardService.h"
#include "tarovex/NullOutputs.h"

#include <stdexcept>

namespace tarovex {

namespace {

namespace CH = config::ConfigHelper;

// The run's sound seen through the window's interface.
class OutputSound : public SoundPlayer {
public:
    explicit OutputSound(std::unique_ptr<worker::SoundOutput> output) : output_(std::move(output)) {}
    ~OutputSound() override { output_->close(); }
    void play() override { output_->play(); }
    void close() override { output_->close(); }

private:
    std::unique_ptr<worker::SoundOutput> output_;
};

} // namespace

RunServices platformServices(worker::SoundBackend soundBackend) {
    RunServices s = recordingServices();
    s.makeTyper = makeKeyboardTyper;
    s.capsLockOn = capsLockOn;
    s.makeSound = [backend = std::move(soundBackend)](int percussionNumber) -> std::unique_ptr<SoundPlayer> {
        for (const CH::Sound sound : CH::Sound::values()) {
            if (sound == CH::Sound::NONE || sound.getPercussionNumber() != percussionNumber)
                continue;
            worker::SoundStart started = worker::startSound(sound, backend);
            if (!started.output)
                throw std::runtime_error(started.error.toStdString());
            return std::make_unique<OutputSound>(std::move(started.output));
        }
        throw std::invalid_argument("no sound plays note " + std::to_string(percussionNumber));
    };
    return s;
}

} // namespace tarovex
