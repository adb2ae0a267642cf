#include "tarovex/log/DiagnosticLog.h"

namespace tarovex {

Tarolink::DiagnosticHandler diagnosticsTo(reading::EventLog& log) {
    return [&log](const std::string& line) { log.logEvent(QString::fromStdString(line)); };
}

} // namespace tarovex
