#pragma once

#include "config/ConfigHelper.h"
#include "typing/XkbLayout.h"

#include <optional>
#include <string>

namespace tarovex::typing {

// The XKB layout a declared keyboard type stands for: QUERTY us, US_INTERNATIONAL us(intl),
// GERMAN de, AZERTY fr; ALL the system's keyboard configuration (XKBLAYOUT and XKBVARIANT
// of `keyboardFile`), else us. A non-empty `explicitLayout` ("de", "us(intl)") wins.
XkbRuleNames declaredXkbLayout(config::ConfigHelper::KeyboardType type,
                               const std::string& explicitLayout = {},
                               const std::string& keyboardFile = "/etc/default/keyboard");

// The first layout of the system keyboard configuration (XKBLAYOUT="de,us" and
// XKBVARIANT="nodeadkeys," give de(nodeadkeys)); none when the file names none.
std::optional<XkbRuleNames> systemKeyboardLayout(const std::string& keyboardFile);

// "de" and "us(intl)" as rule names.
XkbRuleNames parseXkbLayout(const std::string& text);

} // namespace tarovex::typing
