#include "typing/desktop/DesktopLayout.h"

#include "typing/DeclaredLayout.h"
#include "typing/desktop/GnomeInputSources.h"
#include "typing/desktop/KdeLayouts.h"
#include "typing/desktop/SwayInputs.h"

#include <cstdlib>
#include <sstream>

namespace tarovex::typing {
namespace {

using Source = LayoutChoice::Source;

// The name our virtual keyboard has on the desktop: sway reports its layout by it.
constexpr char ourKeyboard[] = "Tarovex virtual keyboard";

std::string environmentValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// $XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
bool desktopIs(const std::string& list, const std::string& name) {
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ':');)
        if (item == name)
            return true;
    return false;
}

std::optional<XkbRuleNames> gnomeLayout(const DesktopSources& s) {
    const auto listing = s.gnomeSettings ? s.gnomeSettings() : std::nullopt;
    if (!listing)
        return std::nullopt;
    return gnomeActiveLayout(gnomeSettingValue(*listing, "sources"),
                             gnomeSettingValue(*listing, "mru-sources"));
}

std::optional<XkbRuleNames> kdeLayout(const DesktopSources& s) {
    const auto layouts = kdeLayouts(s.kdeConfigFile);
    if (layouts.empty())
        return std::nullopt;
    const auto active = s.kdeActiveLayout ? s.kdeActiveLayout() : std::nullopt;
    return layouts[active && *active < layouts.size() ? *active : 0];
}

std::optional<XkbRuleNames> swayLayout(const DesktopSources& s) {
    const auto inputs = swayInputs(s.swaySocket);
    return inputs ? swayActiveLayout(*inputs, ourKeyboard) : std::nullopt;
}

} // namespace

DesktopSources DesktopSources::current() {
    DesktopSources s;
    s.currentDesktop = environmentValue("XDG_CURRENT_DESKTOP");
    s.swaySocket = environmentValue("SWAYSOCK");
    const std::string config = environmentValue("XDG_CONFIG_HOME");
    s.kdeConfigFile = (config.empty() ? environmentValue("HOME") + "/.config" : config) + "/kxkbrc";
    s.gnomeSettings = readGnomeInputSettings;
    s.kdeActiveLayout = [bus = environmentValue("DBUS_SESSION_BUS_ADDRESS")]() -> std::optional<unsigned> {
        return bus.empty() ? std::nullopt : kdeActiveLayoutIndex(bus);
    };
    return s;
}

std::string LayoutChoice::layoutName() const {
    return layout.variant.empty() ? layout.layout : layout.layout + "(" + layout.variant + ")";
}

std::string LayoutChoice::sourceName(const DesktopSources& sources) const {
    switch (source) {
    case Source::Explicit:
        return "the keyboard layout given explicitly";
    case Source::Gnome:
        return "GNOME's input sources";
    case Source::Kde:
        return "KDE Plasma's keyboard layouts (" + sources.kdeConfigFile + ")";
    case Source::Sway:
        return "sway's keyboard input";
    case Source::KeyboardFile:
        return "the system keyboard configuration " + sources.keyboardFile;
    case Source::Default:
        break;
    }
    return "the default: neither the desktop nor " + sources.keyboardFile + " names one";
}

LayoutChoice desktopLayout(const std::string& explicitLayout, const DesktopSources& sources) {
    if (!explicitLayout.empty())
        return {parseXkbLayout(explicitLayout), Source::Explicit};
    if (!sources.swaySocket.empty())
        if (auto l = swayLayout(sources))
            return {*l, Source::Sway};
    if (desktopIs(sources.currentDesktop, "KDE"))
        if (auto l = kdeLayout(sources))
            return {*l, Source::Kde};
    if (desktopIs(sources.currentDesktop, "GNOME"))
        if (auto l = gnomeLayout(sources))
            return {*l, Source::Gnome};
    if (auto l = systemKeyboardLayout(sources.keyboardFile))
        return {*l, Source::KeyboardFile};
    return {XkbRuleNames{"us", ""}, Source::Default};
}

} // namespace tarovex::typing
