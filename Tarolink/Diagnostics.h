#pragma once

#include <functional>
#include <string>

namespace Tarolink {

// The serial library's own diagnostic lines (library loading, port-list hints, device
// notifications). The library never writes to the process's streams itself: every line
// goes to one process-wide handler, which the program may replace.
using DiagnosticHandler = std::function<void(const std::string& line)>;

// Installs `handler` for all later lines and returns the one it replaces. An empty handler
// restores the default, which writes each line and a line end to standard error.
// Any thread may call.
DiagnosticHandler setDiagnosticHandler(DiagnosticHandler handler);

// Hands one line (without its line end) to the installed handler, on the calling thread.
// Any thread may call; the handler must not install another handler.
void diagnostic(const std::string& line);

} // namespace Tarolink
