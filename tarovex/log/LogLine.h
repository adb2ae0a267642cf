#pragma once

#include "reading/DataLine.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace tarovex {

// The five styles of the message log. Typed and Unknown share their colour.
enum class LogStyle { Regular, Important, Typed, Ignored, Unknown, Unstable };

// A piece of a log line in one style.
struct LogSpan {
    QString text;
    LogStyle style;
    friend bool operator==(const LogSpan&, const LogSpan&) = default;
};

// One line of the log, newline included at its end.
using LogLine = QList<LogSpan>;

// "HH:mm:ss text\n" in one style.
LogLine eventLine(const QDateTime& time, const QString& text, LogStyle style);

// A received line: its readable form with the value highlighted where the value can be found
// in it (as it stands, with ',' read as '.', or with '.' read as ','), and not after a control
// token; the whole line as Unknown when it cannot; as Ignored when it has no value.
LogLine dataLineLog(const reading::DataLine& line);
// A line the instrument marked unstable, whole in its own style.
LogLine unstableLineLog(const reading::DataLine& line);

} // namespace tarovex
