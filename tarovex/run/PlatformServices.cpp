#include "tarovex/run/PlatformServices.h"

#include "tarovex/run/KeyboardService.h"
#include "tarovex/run/X11GlobalHotkey.h"
#include "tarovex/texts/ShellBundle.h"

#include <stdexcept>

namespace tarovex {

namespace CH = config::ConfigHelper;

RunServices platformServices(worker::SoundBackend soundBackend,
                             std::shared_ptr<typing::Clipboard> clipboard) {
    RunServices s;
    // One keyboard for every run made with these services.
    s.makeTyper = [lane = std::make_shared<typing::KeyboardLane>(),
                   clipboard = std::move(clipboard)](const config::Config& config, reading::EventLog& log) {
        return makeKeyboardTyper(config, log, lane, {.clipboard = clipboard});
    };
    s.capsLockOn = capsLockOn;
    s.makeHotkey = []() -> std::unique_ptr<GlobalHotkey> {
        if (!typing::SessionEnvironment::current().isX11Session())
            throw std::runtime_error(text(QStringLiteral("hotkey.wayland")).toStdString());
        return std::make_unique<X11GlobalHotkey>();
    };
    s.makeSound = [backend = std::move(soundBackend)](int percussionNumber) {
        for (const CH::Sound sound : CH::Sound::values()) {
            if (sound == CH::Sound::NONE || sound.getPercussionNumber() != percussionNumber)
                continue;
            worker::SoundStart started = worker::startSound(sound, backend);
            if (!started.output)
                throw std::runtime_error(started.error.toStdString());
            return std::move(started.output);
        }
        throw std::invalid_argument("no sound plays note " + std::to_string(percussionNumber));
    };
    return s;
}

} // namespace tarovex
