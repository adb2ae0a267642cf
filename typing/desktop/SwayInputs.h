#pragma once

#include "typing/XkbLayout.h"

#include <optional>
#include <string>

namespace tarovex::typing {

// The active layout sway applies to keyboards, from the JSON answer of its get_inputs
// request: the input named `preferredInput` (our own virtual keyboard, once it exists)
// first, else the first keyboard. Sway names a layout by its description ("German (no dead
// keys)"), which the XKB registry turns back into "de(nodeadkeys)".
std::optional<XkbRuleNames> swayActiveLayout(const std::string& inputsJson,
                                             const std::string& preferredInput);

// get_inputs over sway's IPC socket; none when it does not answer within a short time.
std::optional<std::string> swayInputs(const std::string& socketPath);

// The layout and variant of an XKB layout description, from the system's XKB registry.
std::optional<XkbRuleNames> layoutByDescription(const std::string& description);

} // namespace tarovex::typing
