#pragma once

namespace tarovex {

inline constexpr const char* kVersion = "0.1.0";
inline constexpr const char* kReleaseDate = "2026-12-07";

// Sets "VERSION", "RELEASEDATE" and, unless the environment holds them already,
// "TLK_OSNAME" and "TLK_OSARCH" to the running system's. Call before threads start.
void setProcessProperties();

} // namespace tarovex
