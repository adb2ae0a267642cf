#pragma once

namespace tarovex::config {

// The seven rounding modes of exact decimal rescaling, in the order of the settings'
// rounding methods.
enum class RoundingMode {
    CEILING,   // towards positive infinity
    DOWN,      // towards zero
    FLOOR,     // towards negative infinity
    HALF_DOWN, // to nearest, ties towards zero
    HALF_EVEN, // to nearest, ties to the even neighbour
    HALF_UP,   // to nearest, ties away from zero
    UP,        // away from zero
};

} // namespace tarovex::config
