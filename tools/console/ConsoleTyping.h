#pragma once

#include "config/Config.h"
#include "worker/WeightWorkerView.h"
#include "worker/keys/KeyOutputFactory.h"
#include "worker/keys/TypingSession.h"

#include <QStringList>

#include <memory>

namespace tarovex::console {

// --type and the backend it types with.
struct TypingChoice {
    bool enabled = false;
    bool backendNamed = false; // --keyboard-backend or --keyboard-layout was given
    worker::keys::KeyOutputOptions output;
};

// When args[i] is --type, --keyboard-backend x11|wayland|uinput or --keyboard-layout XKB (a value
// as the next argument or after "="), takes it and returns true; a wrong or missing value
// sets `error`. Anything else: false.
bool takeTypingOption(const QStringList& args, qsizetype& i, TypingChoice& choice, QString& error);

// The typing session of the settings, or none: not asked for, or it cannot be made, which
// is logged ("error.initializing.keyboard.output" with the backends' reasons).
std::unique_ptr<worker::keys::TypingSession>
createTyping(const TypingChoice& choice, const config::Config& config, worker::WeightWorkerView& view);

// Starts the typing thread and logs the backend line, the keyboard type and, when it is
// on, the Caps Lock warning.
void startTyping(worker::keys::TypingSession& typing, const config::Config& config,
                 worker::WeightWorkerView& view);

// Ends the typing after the value being typed; logs how many values were left untyped.
void stopTyping(worker::keys::TypingSession& typing, worker::WeightWorkerView& view);

} // namespace tarovex::console
