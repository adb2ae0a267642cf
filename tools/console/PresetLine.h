#pragma once

#include "config/Config.h"

#include <QString>

namespace tarovex::console {

// The line settings of `config` (bit rate, data bits, parity, stop bits, input terminator)
// that differ from its preset's defaults, in one log line that names both; empty when they
// all match or no preset is chosen.
QString presetLineMismatch(const config::Config& config);

// Takes the preset's line settings into `config` (nothing without a preset).
void takePresetLineSettings(config::Config& config);

} // namespace tarovex::console
