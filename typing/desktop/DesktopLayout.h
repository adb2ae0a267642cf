#pragma once

#include "typing/XkbLayout.h"

#include <functional>
#include <optional>
#include <string>

namespace tarovex::typing {

// Where the layout the desktop applies to a new keyboard is read from. Each reader is a
// seam, so that tests give fixture files, a socket or a bus of their own.
struct DesktopSources {
    std::string currentDesktop; // $XDG_CURRENT_DESKTOP: "GNOME", "ubuntu:GNOME", "KDE", "sway"
    std::string swaySocket;     // $SWAYSOCK
    std::string kdeConfigFile;  // $XDG_CONFIG_HOME/kxkbrc
    std::string keyboardFile = "/etc/default/keyboard";
    // The keys of org.gnome.desktop.input-sources as readGnomeInputSettings() lists them; none
    // when unreadable.
    std::function<std::optional<std::string>()> gnomeSettings;
    // The index of KDE's active layout, asked over the session bus; none when nobody answers.
    std::function<std::optional<unsigned>()> kdeActiveLayout;

    // This process's desktop, read through gsettings, the session bus and the sway socket.
    static DesktopSources current();
};

// A layout and where it came from, for the log and the check of this computer.
struct LayoutChoice {
    enum class Source { Explicit, Gnome, Kde, Sway, KeyboardFile, Default };
    XkbRuleNames layout;
    Source source = Source::Default;

    // The layout changes while the desktop runs (the user switches): worth following.
    bool followsDesktop() const {
        return source == Source::Gnome || source == Source::Kde || source == Source::Sway;
    }
    // "de(nodeadkeys)"
    std::string layoutName() const;
    // "GNOME's input sources", "the system keyboard configuration /etc/default/keyboard", ...
    std::string sourceName(const DesktopSources& sources) const;
};

// An explicit layout ("de", "us(intl)") wins; then the desktop's active layout (sway, KDE
// Plasma or GNOME, as $XDG_CURRENT_DESKTOP and $SWAYSOCK say), then the system keyboard
// configuration (XKBLAYOUT, XKBVARIANT: the console and new desktops start from it), then us.
LayoutChoice desktopLayout(const std::string& explicitLayout, const DesktopSources& sources);

} // namespace tarovex::typing
