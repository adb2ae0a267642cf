#pragma once

#include "typing/TypedKey.h"
#include "typing/XkbLayout.h"

#include <string>
#include <vector>

namespace tarovex::typing {

// The keysyms, pressed and released in turn, that type the key through GNOME's remote desktop
// (Mutter's own, or the desktop portal's, which hands them to Mutter); empty with `why` set when
// it cannot. Mutter looks each keysym up in the desktop's layout and drops one it does not find
// while still answering success, so this is decided here, against that layout.
std::vector<Keysym> keysymPlan(const XkbLayout& layout, const TypedKey& key, std::string& why);

} // namespace tarovex::typing
