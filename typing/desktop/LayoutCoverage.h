#pragma once

#include "config/ConfigHelper.h"
#include "typing/KeyOutput.h"
#include "typing/XkbLayout.h"

#include <QString>

namespace tarovex::typing {

// The characters of a keyboard type's coverage that no key of `layout` types (neither
// directly nor as a dead key and Space), in the coverage's order; empty when all can be.
QString untypableCharacters(const XkbLayout& layout, config::ConfigHelper::KeyboardType type,
                            config::ConfigHelper::KeyMapType coverage);
// The same, as the output's cannotType() answers.
QString untypableCharacters(KeyOutput& output, config::ConfigHelper::KeyboardType type,
                            config::ConfigHelper::KeyMapType coverage);

} // namespace tarovex::typing
