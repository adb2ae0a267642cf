#pragma once

#include <QString>

#include <optional>

namespace tarovex {

// The argument the desktop starts the window with at login: the run starts by itself and the
// window goes to the tray (or is minimised where there is none).
inline constexpr const char* withDesktopArgument = "--with-desktop";

// The window's entry in the desktop's autostart folder ($XDG_CONFIG_HOME, else ~/.config,
// then autostart/tarovex.desktop), which every desktop following the XDG rules runs at login.
QString autostartFile();

// Whether `file` starts the window at login: it exists and is not switched off (Hidden=true,
// as a desktop's own settings write it).
bool startsWithDesktop(const QString& file = autostartFile());

// Writes the entry that runs `program` with withDesktopArgument, or removes it. Why not, when
// the file could not be written or removed.
std::optional<QString> setStartWithDesktop(bool on, const QString& program,
                                           const QString& file = autostartFile());

} // namespace tarovex
