#pragma once

#include "tarovex/settings/SettingsForm.h"
#include "tarovex/ui/WindowTabs.h"

namespace tarovex::ui {

// What the controls hold, as plain values (read through the binding table).
TabValues readControls(const Controls& controls);
// Shows `values` in the controls (through the same table).
void showControls(Controls& controls, const TabValues& values);

} // namespace tarovex::ui
