#pragma once

#include "tarovex/settings/SettingsForm.h"
#include "tarovex/ui/WindowTabs.h"

class QLineEdit;

namespace tarovex::ui {

// What the controls hold, as plain values, each by its setting's key and row.
TabValues readControls(const Controls& controls);
// Shows `values` in the controls.
void showControls(Controls& controls, const TabValues& values);
// The text field bound to setting `key`, or nullptr when its control is none.
QLineEdit* textField(const Controls& controls, const QString& key);

} // namespace tarovex::ui
