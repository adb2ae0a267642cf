#pragma once

#include "tarovex/texts/ShellBundle.h"

#include <QStringList>

#include <optional>

namespace tarovex::ui {

// Checks the bundles; when a key is missing shows the fixed "Fatal error" dialog and returns
// the exit status for it.
std::optional<int> checkResourceBundles(const QList<RequiredKeys>& required = programBundles());

// The program after its arguments were read: bundle check, window, event loop. Returns the
// exit status.
int runProgram(const QStringList& arguments);

} // namespace tarovex::ui
