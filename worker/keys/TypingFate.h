#pragma once

#include "reading/Outcome.h"

#include <QLatin1StringView>

#include <cstdint>
#include <functional>
#include <vector>

namespace tarovex::worker::keys {

// Why a value was not typed whole: the reading's own drop reasons.
namespace DropReason = reading::DropReason;

// What became of one value: typed, once its last key was sent; else dropped with a reason.
struct TypingFate {
    std::uint64_t id = 0;
    QLatin1StringView dropped; // empty: typed
    bool typed() const { return dropped.isEmpty(); }
};

// Hears the fates of values, on the typing thread (several at once when many expired).
using FateHandler = std::function<void(std::vector<TypingFate>)>;

} // namespace tarovex::worker::keys
