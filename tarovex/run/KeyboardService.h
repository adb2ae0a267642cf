#pragma once

#include "config/Config.h"
#include "tarovex/run/RunServices.h"
#include "worker/WeightWorkerView.h"
#include "worker/keys/KeyOutputFactory.h"
#include "worker/keys/KeySynthesizer.h"

#include <memory>
#include <optional>

namespace tarovex {

// The keystroke output of a run: a typing session on the backend the session chooses (X11
// or uinput; `backend` forces one), its typing errors logged through `view` on the thread
// that made it. Throws std::runtime_error with the backend's message when no output can be
// made.
std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view,
                                              const worker::keys::KeyOutputOptions& backend = {});
// The same, typing through `synthesizer`.
std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, worker::WeightWorkerView& view,
                                              std::unique_ptr<worker::keys::KeySynthesizer> synthesizer,
                                              const QString& description);

// Caps Lock on or off; nothing when it cannot be known.
std::optional<bool> capsLockOn();

} // namespace tarovex
