#pragma once

#include "typing/XkbLayout.h"

#include <optional>
#include <string>

namespace tarovex::typing {

// The active XKB layout of GNOME's input sources, from the GVariant texts of `sources`
// ("[('xkb', 'us'), ('xkb', 'de+nodeadkeys'), ('ibus', 'anthy')]") and `mru-sources` (most
// recently used first: its first XKB source that is still configured is the active one).
// None when no XKB source is configured (GNOME then keeps the system's layout).
std::optional<XkbRuleNames> gnomeActiveLayout(const std::string& sources, const std::string& mruSources);

// `gsettings list-recursively org.gnome.desktop.input-sources`: a line "SCHEMA KEY VALUE" per
// key; none when gsettings or the schema is missing. Runs one process: some milliseconds.
std::optional<std::string> readGnomeInputSettings();

// The value of `key` in such a listing; empty when it is not there.
std::string gnomeSettingValue(const std::string& listing, const std::string& key);

} // namespace tarovex::typing
