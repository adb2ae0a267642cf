#pragma once

#include "typing/KeyOutputFactory.h"

#include <QStringList>

namespace tarovex::console {

// --type and the backend it types with.
struct TypingChoice {
    bool enabled = false;
    bool backendNamed = false; // --keyboard-backend or --keyboard-layout was given
    typing::KeyOutputOptions output;
};

// When args[i] is --type, --keyboard-backend x11|wayland|uinput|gnome|kde|portal or
// --keyboard-layout XKB (a value as the next argument or after "="), takes it and returns true;
// a wrong or missing value sets `error`. Anything else: false.
bool takeTypingOption(const QStringList& args, qsizetype& i, TypingChoice& choice, QString& error);

} // namespace tarovex::console
