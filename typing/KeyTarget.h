#pragma once

#include <cstdint>

namespace tarovex::typing {

// Where typed keys go at a moment: the window with the keyboard focus, and whether it
// belongs to this process. Two targets are the same window when their ids are equal.
struct KeyTarget {
    std::uint64_t window = 0;
    bool ours = false;
    friend bool operator==(const KeyTarget& a, const KeyTarget& b) { return a.window == b.window; }
};

} // namespace tarovex::typing
