#pragma once

#include "typing/XkbLayout.h"

namespace tarovex::typing {

// What a dead key followed by another key composes to, by the X compose table of the
// en_US.UTF-8 locale (the one most locales include): dead_acute + space gives ', dead_grave +
// e gives è. 0 when the pair composes nothing or the compose data is not installed.
char32_t composeDeadKey(Keysym deadKey, Keysym next) noexcept;

// The bare mark of a dead key (the dead key followed by Space), 0 for none.
inline char32_t spacingMark(Keysym deadKey) noexcept {
    return composeDeadKey(deadKey, 0x20 /* space */);
}

// True when the compose table could be loaded.
bool hasComposeData() noexcept;

} // namespace tarovex::typing
