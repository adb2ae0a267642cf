#include "typing/KeyOutputFactory.h"

#include "typing/MutterKeyOutput.h"
#include "typing/PortalKeyOutput.h"
#include "typing/UinputKeyOutput.h"
#include "typing/X11KeyOutput.h"
#include "typing/desktop/LayoutCoverage.h"
#include "typing/desktop/LayoutFollowingOutput.h"
#ifdef TAROVEX_WAYLAND
#include "typing/WaylandKeyOutput.h"
#endif
#ifdef TAROVEX_KWIN
#include "typing/KwinKeyOutput.h"
#endif

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>

namespace tarovex::typing {
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

constexpr qsizetype maxListed = 40; // characters named in the warning

// The desktop translates uinput's key codes, and looks up Mutter's keysyms, with its own layout:
// the one it applies to our keyboard, followed when the user switches.
std::unique_ptr<KeyOutput> followDesktop(std::unique_ptr<LayoutBoundOutput> device,
                                         const LayoutChoice& choice, const DesktopSources& sources,
                                         const KeyOutputOptions& options, QStringList& warnings) {
    QString missing = untypableCharacters(*device, options.keyboardType, options.coverage);
    if (missing.size() > maxListed)
        missing = missing.left(maxListed) + QStringLiteral("...");
    std::function<LayoutChoice()> ask;
    if (choice.followsDesktop())
        ask = [sources] { return desktopLayout({}, sources); };
    if (!missing.isEmpty())
        warnings.append(
            QStringLiteral(
                "The keyboard type %1 types characters that the layout %2 has no key for: %3. "
                "They will not be typed: add a layout that has them on the desktop and switch to it.")
                .arg(options.keyboardType.toString(), QString::fromStdString(choice.layoutName()), missing));
    return std::make_unique<LayoutFollowingOutput>(std::move(device), choice, std::move(ask),
                                                   choice.sourceName(sources));
}

DesktopSources layoutSources(const SessionEnvironment& environment) {
    DesktopSources sources = environment.desktop;
    sources.keyboardFile = environment.keyboardFile;
    return sources;
}

std::unique_ptr<KeyOutput> createUinputOutput(const KeyOutputOptions& options,
                                              const SessionEnvironment& environment, QStringList& warnings) {
    const DesktopSources sources = layoutSources(environment);
    const LayoutChoice choice = desktopLayout(options.xkbLayout, sources);
    UinputKeyOutput::Options uinput;
    uinput.layout = choice.layout;
    uinput.devicePath = environment.uinputPath;
    uinput.capsLockOn = [environment] { return ledCapsLock(environment.ledsDirectory).value_or(false); };
    return followDesktop(std::make_unique<UinputKeyOutput>(std::move(uinput)), choice, sources, options,
                         warnings);
}

std::unique_ptr<KeyOutput> createMutterOutput(const KeyOutputOptions& options,
                                              const SessionEnvironment& environment, QStringList& warnings) {
    const DesktopSources sources = layoutSources(environment);
    const LayoutChoice choice = desktopLayout(options.xkbLayout, sources);
    return followDesktop(
        std::make_unique<MutterKeyOutput>(MutterKeyOutput::Options{environment.sessionBus, choice.layout}),
        choice, sources, options, warnings);
}

std::unique_ptr<KeyOutput> createPortalOutput(const KeyOutputOptions& options,
                                              const SessionEnvironment& environment, QStringList& warnings) {
    const DesktopSources sources = layoutSources(environment);
    const LayoutChoice choice = desktopLayout(options.xkbLayout, sources);
    PortalKeyOutput::Options portal;
    portal.busAddress = environment.sessionBus;
    portal.layout = choice.layout;
    auto output = std::make_unique<PortalKeyOutput>(std::move(portal));
    warnings.append(output->warnings());
    return followDesktop(std::move(output), choice, sources, options, warnings);
}

#ifdef TAROVEX_KWIN
std::unique_ptr<KeyOutput> createKwinOutput(const KeyOutputOptions& options, const SessionEnvironment& environment,
                                            QStringList& warnings) {
    const DesktopSources sources = layoutSources(environment);
    const LayoutChoice choice = desktopLayout(options.xkbLayout, sources);
    auto capsLockOn = [environment] { return ledCapsLock(environment.ledsDirectory).value_or(false); };
    return followDesktop(
        std::make_unique<KwinKeyOutput>(KwinKeyOutput::Options{environment.waylandDisplay, choice.layout, capsLockOn}),
        choice, sources, options, warnings);
}
#endif

// "ubuntu:GNOME" is GNOME too.
bool desktopIs(const std::string& desktops, std::string_view name) {
    std::size_t start = 0;
    while (start <= desktops.size()) {
        const std::size_t colon = std::min(desktops.find(':', start), desktops.size());
        if (std::string_view(desktops).substr(start, colon - start) == name)
            return true;
        start = colon + 1;
    }
    return false;
}

// One rule of the choice: when `applies` holds for the facts, `backend` is tried.
struct Rule {
    bool (*applies)(const SessionFacts&);
    KeyBackend backend;
    const char* name;
};

bool automatic(const SessionFacts& f) {
    return f.forced == KeyBackend::Automatic;
}

// In order: the first rule that works decides. A backend that fails leaves the next rule
// its turn, so a broken X server or a refusing compositor still leaves uinput.
constexpr Rule rules[] = {
    {[](const SessionFacts& f) { return f.forced == KeyBackend::X11; }, KeyBackend::X11,
     "--keyboard-backend x11"},
    {[](const SessionFacts& f) { return f.forced == KeyBackend::Wayland; }, KeyBackend::Wayland,
     "--keyboard-backend wayland"},
    {[](const SessionFacts& f) { return f.forced == KeyBackend::Uinput; }, KeyBackend::Uinput,
     "--keyboard-backend uinput"},
    {[](const SessionFacts& f) { return f.forced == KeyBackend::Gnome; }, KeyBackend::Gnome,
     "--keyboard-backend gnome"},
    {[](const SessionFacts& f) { return f.forced == KeyBackend::Kde; }, KeyBackend::Kde,
     "--keyboard-backend kde"},
    {[](const SessionFacts& f) { return f.forced == KeyBackend::Portal; }, KeyBackend::Portal,
     "--keyboard-backend portal"},
    {[](const SessionFacts& f) { return automatic(f) && f.x11Session; }, KeyBackend::X11, "X11 session"},
    {[](const SessionFacts& f) {
         return automatic(f) && f.waylandSession && desktopIs(f.desktop, "GNOME") && f.mutterRemoteDesktop;
     },
     KeyBackend::Gnome, "GNOME Wayland session, Mutter offers remote desktop sessions"},
    {[](const SessionFacts& f) { return automatic(f) && f.waylandSession && desktopIs(f.desktop, "KDE"); },
     KeyBackend::Kde, "KDE Wayland session"},
    // After the desktop's own: the portal asks the user in a dialog, at each Start before version 2.
    {[](const SessionFacts& f) {
         return automatic(f) && f.waylandSession &&
                (desktopIs(f.desktop, "GNOME") || desktopIs(f.desktop, "KDE")) && f.portalRemoteDesktop;
     },
     KeyBackend::Portal, "GNOME or KDE Wayland session, the desktop portal offers remote desktop sessions"},
    {[](const SessionFacts& f) {
         return automatic(f) && f.waylandSession && f.compositorOffersVirtualKeyboard;
     },
     KeyBackend::Wayland, "Wayland session, the compositor offers virtual keyboards"},
    {[](const SessionFacts& f) {
         return automatic(f) && f.waylandSession && !f.compositorOffersVirtualKeyboard;
     },
     KeyBackend::Uinput, "Wayland session, the compositor offers no virtual keyboard"},
    {[](const SessionFacts& f) { return automatic(f) && !f.x11Session && !f.waylandSession; },
     KeyBackend::Uinput, "no desktop session"},
    {[](const SessionFacts& f) { return automatic(f) && f.uinputWritable; }, KeyBackend::Uinput,
     "the other backend failed, /dev/uinput is writable"},
    {automatic, KeyBackend::Uinput, "the other backend failed"},
};

const char* backendName(KeyBackend backend) {
    switch (backend) {
    case KeyBackend::X11:
        return "X11";
    case KeyBackend::Wayland:
        return "Wayland";
    case KeyBackend::Uinput:
        return "uinput";
    case KeyBackend::Gnome:
        return "GNOME";
    case KeyBackend::Kde:
        return "KDE";
    case KeyBackend::Portal:
        return "portal";
    case KeyBackend::Automatic:
        break;
    }
    return "automatic";
}

// Every character a keyboard type's complete coverage has, after printable ASCII.
std::u32string preloadFor(config::ConfigHelper::KeyboardType type) {
    std::u32string text;
    for (char32_t c = 0x20; c < 0x7f; ++c)
        text += c;
    for (const QChar c : config::ConfigHelper::KeyboardType::getKeymap(
                             type, config::ConfigHelper::KeyMapType::ALPHANUMERIC_COMPLETE)
                             .keys())
        if (c.unicode() >= 0x80)
            text += char32_t(c.unicode());
    return text;
}

std::unique_ptr<KeyOutput> makeOutput(KeyBackend backend, const KeyOutputOptions& options,
                                      const SessionEnvironment& environment, QStringList& warnings) {
    switch (backend) {
    case KeyBackend::X11:
        if (options.remoteSession)
            return std::make_unique<X11KeyOutput>(
                environment.display,
                std::max(X11KeyOutput::remoteKeyGap, std::chrono::milliseconds(options.keyDelay)));
        return std::make_unique<X11KeyOutput>(environment.display);
    case KeyBackend::Wayland:
#ifdef TAROVEX_WAYLAND
        return std::make_unique<WaylandKeyOutput>(
            WaylandKeyOutput::Options{environment.waylandDisplay, preloadFor(options.keyboardType)});
#else
        throw std::runtime_error("This build has no Wayland support");
#endif
    case KeyBackend::Gnome:
        return createMutterOutput(options, environment, warnings);
    case KeyBackend::Kde:
#ifdef TAROVEX_KWIN
        return createKwinOutput(options, environment, warnings);
#else
        throw std::runtime_error("This build cannot type through KDE's fake input");
#endif
    case KeyBackend::Portal:
        return createPortalOutput(options, environment, warnings);
    case KeyBackend::Uinput:
    case KeyBackend::Automatic:
        break;
    }
    return createUinputOutput(options, environment, warnings);
}

} // namespace

SessionEnvironment SessionEnvironment::current() {
    SessionEnvironment e;
    e.display = environmentValue("DISPLAY");
    e.waylandDisplay = environmentValue("WAYLAND_DISPLAY");
    e.desktop = DesktopSources::current();
    e.sessionBus = environmentValue("DBUS_SESSION_BUS_ADDRESS");
    return e;
}

std::vector<KeyBackendChoice> chooseKeyBackends(const SessionFacts& facts) {
    std::vector<KeyBackendChoice> choices;
    for (const Rule& rule : rules)
        if (rule.applies(facts) &&
            std::none_of(choices.begin(), choices.end(),
                         [&](const KeyBackendChoice& c) { return c.backend == rule.backend; }))
            choices.push_back({rule.backend, rule.name});
    return choices;
}

SessionFacts sessionFacts(KeyBackend forced, const SessionEnvironment& environment) {
    SessionFacts facts;
    facts.forced = forced;
    facts.x11Session = environment.isX11Session();
    facts.waylandSession = environment.isWaylandSession();
#ifdef TAROVEX_WAYLAND
    if (forced == KeyBackend::Automatic && facts.waylandSession)
        facts.compositorOffersVirtualKeyboard = WaylandKeyOutput::offeredBy(environment.waylandDisplay);
#endif
    facts.desktop = environment.desktop.currentDesktop;
    if (forced == KeyBackend::Automatic && facts.waylandSession && desktopIs(facts.desktop, "GNOME"))
        facts.mutterRemoteDesktop = MutterKeyOutput::offeredOn(environment.sessionBus);
    if (forced == KeyBackend::Automatic && facts.waylandSession &&
        (desktopIs(facts.desktop, "GNOME") || desktopIs(facts.desktop, "KDE")))
        facts.portalRemoteDesktop = PortalKeyOutput::offeredOn(environment.sessionBus);
    facts.uinputWritable = ::access(environment.uinputPath.c_str(), W_OK) == 0;
    return facts;
}

KeyOutputCreation createKeyOutput(const KeyOutputOptions& options, const SessionEnvironment& environment) {
    QString reasons;
    for (const KeyBackendChoice& choice : chooseKeyBackends(sessionFacts(options.backend, environment))) {
        try {
            QStringList warnings;
            std::unique_ptr<KeyOutput> output = makeOutput(choice.backend, options, environment, warnings);
            QString line = QStringLiteral("Keystroke output: %1 (rule: %2)")
                               .arg(output->description(), QString::fromUtf8(choice.rule));
            if (options.remoteSession && choice.backend != KeyBackend::X11)
                warnings.append(QStringLiteral("The remote session setting is on, but only the X11 route "
                                               "paces its keys for it: %1 types as usual.")
                                    .arg(QString::fromLatin1(keyBackendTitle(choice.backend))));
            return {std::move(output), {}, std::move(line), std::move(warnings)};
        } catch (const std::exception& e) {
            if (!reasons.isEmpty())
                reasons += QStringLiteral("; ");
            reasons += QStringLiteral("%1: %2").arg(QString::fromLatin1(backendName(choice.backend)),
                                                    QString::fromStdString(e.what()));
        }
    }
    return {nullptr, reasons, {}, {}};
}

const char* keyBackendTitle(KeyBackend backend) {
    switch (backend) {
    case KeyBackend::X11:
        return "the X server's XTest";
    case KeyBackend::Wayland:
        return "the compositor's virtual keyboard";
    case KeyBackend::Uinput:
        return "the kernel's uinput";
    case KeyBackend::Gnome:
        return "GNOME's remote desktop (Mutter)";
    case KeyBackend::Kde:
        return "KWin's fake input";
    case KeyBackend::Portal:
        return "the desktop portal's remote desktop";
    case KeyBackend::Automatic:
        break;
    }
    return "automatic";
}

std::vector<PassedOverBackend> passedOverBackends(const SessionFacts& facts) {
    const std::vector<KeyBackendChoice> choices = chooseKeyBackends(facts);
    const auto desktop = [&] {
        return " (XDG_CURRENT_DESKTOP=" + (facts.desktop.empty() ? std::string("unset") : facts.desktop) +
               ")";
    };
    const auto why = [&](KeyBackend backend) -> std::string {
        const auto later = std::find_if(choices.begin(), choices.end(),
                                        [&](const KeyBackendChoice& c) { return c.backend == backend; });
        if (later != choices.end())
            return std::string("tried only when the routes before it fail (rule: ") + later->rule + ")";
        if (facts.forced != KeyBackend::Automatic)
            return std::string("--keyboard-backend asks for ") + keyBackendTitle(facts.forced);
        switch (backend) {
        case KeyBackend::X11:
            return "this is not an X11 session";
        case KeyBackend::Wayland:
            if (!facts.waylandSession)
                return "this is not a Wayland session";
            if (!facts.compositorOffersVirtualKeyboard)
                return "the compositor offers no virtual keyboard";
            return "a route of the desktop itself comes first";
        case KeyBackend::Gnome:
            if (!facts.waylandSession || !desktopIs(facts.desktop, "GNOME"))
                return "this is not a GNOME Wayland session" + desktop();
            return "Mutter's remote desktop is not on the session bus";
        case KeyBackend::Kde:
            return "this is not a KDE Plasma Wayland session" + desktop();
        case KeyBackend::Portal:
            if (!facts.waylandSession ||
                !(desktopIs(facts.desktop, "GNOME") || desktopIs(facts.desktop, "KDE")))
                return "it serves GNOME and KDE Wayland sessions only" + desktop();
            return "the desktop portal offers no remote desktop on the session bus";
        case KeyBackend::Uinput:
            return "/dev/uinput is not writable";
        case KeyBackend::Automatic:
            break;
        }
        return {};
    };
    std::vector<PassedOverBackend> passed;
    for (const KeyBackend backend : {KeyBackend::X11, KeyBackend::Gnome, KeyBackend::Kde, KeyBackend::Wayland,
                                     KeyBackend::Portal, KeyBackend::Uinput})
        if (choices.empty() || choices.front().backend != backend)
            passed.push_back({backend, why(backend)});
    return passed;
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

} // namespace tarovex::typing
