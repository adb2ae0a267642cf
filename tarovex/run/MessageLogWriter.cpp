#include "tarovex/run/MessageLogWriter.h"

#include <QDateTime>

namespace tarovex {

void MessageLogWriter::logEvent(const QString& text) {
    log_.append(eventLine(QDateTime::currentDateTime(), text, LogStyle::Regular));
}

void MessageLogWriter::logImportantEvent(const QString& text) {
    log_.append(eventLine(QDateTime::currentDateTime(), text, LogStyle::Important));
}

void MessageLogWriter::line(const reading::DataLine& line) {
    log_.append(dataLineLog(line));
}

void MessageLogWriter::unstableLine(const reading::DataLine& line) {
    log_.append(unstableLineLog(line));
}

} // namespace tarovex
