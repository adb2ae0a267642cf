#pragma once

#include "worker/keys/XkbLayout.h"

#include <optional>
#include <string>

namespace tarovex::worker::keys {

// The active XKB layout of GNOME's input sources, from the GVariant texts of `sources`
// ("[('xkb', 'us'), ('xkb', 'de+nodeadkeys'), ('ibus', 'anthy')]") and `mru-sources` (most
// recently used first: its first XKB source that is still configured is the active one).
// None when no XKB source is configured (GNOME then keeps the system's layout).
std::optional<XkbRuleNames> gnomeActiveLayout(const std::string& sources, const std::string& mruSources);

// `gsettings get org.gnome.desktop.input-sources KEY`; none when gsettings or the schema is
// missing. Runs a process: some milliseconds.
std::optional<std::string> readGnomeInputSetting(const std::string& key);

} // namespace tarovex::worker::keys
