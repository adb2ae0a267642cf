#pragma once

#include "config/Config.h"
#include "tarovex/RunServices.h"
#include "worker/WeightWorkerView.h"

#include <memory>
#include <optional>

namespace tarovex {

// The window's keystroke output: a typing session on the backend the session chooses
// (X11 or uinput), its typing errors logged through `view` on the thread that made it.
// Throws std::runtime_error with the backend's message when no output can be made.
std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view);

// Caps Lock on or off; nothing when it cannot be known.
std::optional<bool> capsLockOn();

} // namespace tarovex
