#pragma once

#include "Tarolink/Diagnostics.h"
#include "reading/EventLog.h"

namespace tarovex {

// The serial library's diagnostic lines as regular messages of `log`, each on the thread
// that made it (any thread): `log` must take calls from any thread and outlive the handler.
Tarolink::DiagnosticHandler diagnosticsTo(reading::EventLog& log);

} // namespace tarovex
