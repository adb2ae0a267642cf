#include "worker/keys/KeyOutputFactory.h"

#include "worker/keys/UinputKeyOutput.h"
#include "worker/keys/X11KeyOutput.h"
#include "worker/keys/desktop/LayoutCoverage.h"
#include "worker/keys/desktop/LayoutFollowingOutput.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarovex::worker::keys {
namespace {

std::string environmentValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::optional<bool> x11CapsLock(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return std::nullopt;
    std::optional<bool> on;
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    Bool state = False;
    if (XkbQueryExtension(d, &opcode, &event, &error, &major, &minor) &&
        XkbGetNamedIndicator(d, XInternAtom(d, "Caps Lock", False), nullptr, &state, nullptr, nullptr))
        on = state == True;
    XCloseDisplay(d);
    return on;
}

std::optional<bool> ledCapsLock(const std::string& leds) {
    std::optional<bool> on;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(leds, ec)) {
        if (!entry.path().filename().string().ends_with("::capslock"))
            continue;
        int brightness = 0;
        if (std::ifstream(entry.path() / "brightness") >> brightness)
            on = on.value_or(false) || brightness > 0;
    }
    return on;
}

KeyOutputCreation withDescription(std::unique_ptr<KeyOutput> output) {
    QString line = QStringLiteral("Keystroke output: ") + output->description();
    return {std::move(output), {}, std::move(line), {}};
}

constexpr qsizetype maxListed = 40; // characters named in the warning

// uinput types key codes that the desktop translates with its own layout: the one it applies
// to our keyboard, followed when the user switches.
KeyOutputCreation createUinputOutput(const KeyOutputOptions& options, const SessionEnvironment& environment) {
    DesktopSources sources = environment.desktop;
    sources.keyboardFile = environment.keyboardFile;
    const LayoutChoice choice = desktopLayout(options.xkbLayout, sources);
    UinputKeyOutput::Options uinput;
    uinput.layout = choice.layout;
    uinput.devicePath = environment.uinputPath;
    uinput.capsLockOn = [environment] { return ledCapsLock(environment.ledsDirectory).value_or(false); };
    auto device = std::make_unique<UinputKeyOutput>(std::move(uinput));
    QString missing =
        untypableCharacters(XkbLayout::fromNames(choice.layout), options.keyboardType, options.coverage);
    if (missing.size() > maxListed)
        missing = missing.left(maxListed) + QStringLiteral("...");
    std::function<LayoutChoice()> ask;
    if (choice.followsDesktop())
        ask = [sources] { return desktopLayout({}, sources); };
    KeyOutputCreation created = withDescription(std::make_unique<LayoutFollowingOutput>(
        std::move(device), choice, std::move(ask), choice.sourceName(sources)));
    if (!missing.isEmpty())
        created.warnings.append(
            QStringLiteral(
                "The keyboard type %1 types characters that the layout %2 has no key for: %3. "
                "They will not be typed: add a layout that has them on the desktop and switch to it.")
                .arg(options.keyboardType.toString(), QString::fromStdString(choice.layoutName()), missing));
    return created;
}

} // namespace

SessionEnvironment SessionEnvironment::current() {
    SessionEnvironment e;
    e.display = environmentValue("DISPLAY");
    e.waylandDisplay = environmentValue("WAYLAND_DISPLAY");
    e.desktop = DesktopSources::current();
    return e;
}

KeyOutputCreation createKeyOutput(const KeyOutputOptions& options, const SessionEnvironment& environment) {
    QString reasons;
    const bool tryX11 = options.backend == KeyBackend::X11 ||
                        (options.backend == KeyBackend::Automatic && environment.isX11Session());
    if (tryX11) {
        try {
            return withDescription(std::make_unique<X11KeyOutput>(environment.display));
        } catch (const std::exception& e) {
            reasons = QStringLiteral("X11: %1").arg(QString::fromStdString(e.what()));
        }
        if (options.backend == KeyBackend::X11)
            return {nullptr, reasons, {}, {}};
    }
    try {
        return createUinputOutput(options, environment);
    } catch (const std::exception& e) {
        if (!reasons.isEmpty())
            reasons += QStringLiteral("; ");
        reasons += QStringLiteral("uinput: %1").arg(QString::fromStdString(e.what()));
    }
    return {nullptr, reasons, {}, {}};
}

CapsLockState capsLockState(const SessionEnvironment& environment) {
    std::optional<bool> on;
    if (environment.isX11Session())
        on = x11CapsLock(environment.display);
    if (!on)
        on = ledCapsLock(environment.ledsDirectory);
    if (!on)
        return CapsLockState::Unknown;
    return *on ? CapsLockState::On : CapsLockState::Off;
}

} // namespace tarovex::worker::keys
