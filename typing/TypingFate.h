#pragma once

#include "reading/Outcome.h"

#include <QLatin1StringView>

#include <cstdint>
#include <functional>
#include <vector>

namespace tarovex::typing {

// What became of one value: typed, once its last key was sent; else dropped with a reason
// (reading::DropReason).
struct TypingFate {
    std::uint64_t id = 0;
    QLatin1StringView dropped; // empty: typed
    bool typed() const { return dropped.isEmpty(); }
};

// Hears the fates of values, on the typing thread (several at once when many expired).
using FateHandler = std::function<void(std::vector<TypingFate>)>;

} // namespace tarovex::typing
