#include "tarovex/run/MessageLogWriter.h"

#include <QDateTime>

namespace tarovex {

void MessageLogWriter::append(LogLine line) {
    // "HH:mm:ss " begins every line: the name goes after it, in the same style.
    if (!name_.isEmpty() && !line.isEmpty()) {
        QString& first = line.front().text;
        const qsizetype at = first.size() >= 9 && first[8] == u' ' ? 9 : 0;
        first.insert(at, u'[' + name_ + QStringLiteral("] "));
    }
    log_.append(std::move(line));
}

void MessageLogWriter::logEvent(const QString& text) {
    append(eventLine(QDateTime::currentDateTime(), text, LogStyle::Regular));
}

void MessageLogWriter::logImportantEvent(const QString& text) {
    append(eventLine(QDateTime::currentDateTime(), text, LogStyle::Important));
}

void MessageLogWriter::line(const reading::DataLine& line) {
    append(dataLineLog(line));
}

void MessageLogWriter::unstableLine(const reading::DataLine& line) {
    append(unstableLineLog(line));
}

} // namespace tarovex
