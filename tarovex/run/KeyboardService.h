#pragma once

#include "config/Config.h"
#include "reading/EventLog.h"
#include "tarovex/run/RunServices.h"
#include "typing/KeyOutputFactory.h"
#include "typing/KeySynthesizer.h"
#include "typing/KeyboardLane.h"
#include "typing/TypingLog.h"

#include <memory>
#include <optional>

namespace tarovex {

// The keystroke output of a run: a typing session on the backend the session chooses (X11
// or uinput; `backend` forces one), its typing errors logged through `log` on the thread
// that made it. It types on the keyboard `lane`: the runs given the same lane take turns.
// Throws std::runtime_error with the backend's message when no output can be made.
std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, reading::EventLog& log,
                                              std::shared_ptr<typing::KeyboardLane> lane,
                                              const typing::KeyOutputOptions& backend = {});
// The same, typing through `synthesizer`.
std::unique_ptr<ValueTyper> makeKeyboardTyper(const config::Config& config, reading::EventLog& log,
                                              std::shared_ptr<typing::KeyboardLane> lane,
                                              std::unique_ptr<typing::KeySynthesizer> synthesizer,
                                              const QString& description);

// The words of typing's messages: the worker bundle's keystroke texts.
QString typingText(typing::TypingText message);

// Caps Lock on or off; nothing when it cannot be known.
std::optional<bool> capsLockOn();

} // namespace tarovex
