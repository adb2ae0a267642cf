#include "worker/doctor/Doctor.h"

#include "worker/sound/SoundBot.h"

namespace tarovex::worker::doctor {

Findings checkSound(const SystemView& view) {
    using Severity = Finding::Severity;
    Findings f;
    const auto soundfonts = SoundBotOptions::defaultSoundfonts();
    const auto found =
        std::find_if(soundfonts.begin(), soundfonts.end(), [&](const auto& s) { return view.exists(s); });
    if (found != soundfonts.end())
        f.push_back({Severity::Ok,
                     QStringLiteral("The soundfont %1 is there for the sound setting.")
                         .arg(QString::fromStdString(*found)),
                     {}});
    else
        f.push_back(
            {Severity::Warning,
             QStringLiteral("No General MIDI soundfont is installed: the sound setting stays silent."),
             QStringLiteral("sudo apt install timgm6mb-soundfont")});
    const std::string runtime = view.runtimeDir.empty() ? std::string() : view.runtimeDir + "/";
    const bool server =
        !runtime.empty() && (view.exists(runtime + "pipewire-0") || view.exists(runtime + "pulse/native"));
    const std::string cards = view.read("/proc/asound/cards");
    const bool card = !cards.empty() && cards.find("no soundcards") == std::string::npos;
    if (server)
        f.push_back(
            {Severity::Ok, QStringLiteral("A sound server (PipeWire or PulseAudio) plays the sounds."), {}});
    else if (card)
        f.push_back({Severity::Ok,
                     QStringLiteral("No sound server runs; the sounds go straight to the sound card (ALSA)."),
                     {}});
    else
        f.push_back(
            {Severity::Warning,
             QStringLiteral("No audio output was found (no sound server, no sound card): the sound setting "
                            "stays silent. Reading and typing are not affected."),
             QStringLiteral("systemctl --user start pipewire pipewire-pulse")});
    return f;
}

} // namespace tarovex::worker::doctor
