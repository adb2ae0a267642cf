#pragma once

#include "StreamWriter.h"
#include "reading/EventLog.h"
#include "tarovex/run/ReadingConsumer.h"
#include "tarovex/run/RunServices.h"

#include <QByteArray>

namespace tarovex::console {

// How a value goes out: readable on one line (control characters as in the log, <13>), or
// raw and ended by a NUL byte.
enum class ValueFormat { Readable, NullTerminated };

// The bytes of one value on the value stream.
QByteArray valueRecord(const QString& value, ValueFormat format);

// The run's message log without a display: "HH:MM:SS text" lines on the log stream, one per
// line of a message; received lines with their own time, unless left out.
class ConsoleLog : public RunLog {
public:
    // `name`, when given, begins every line after the time: which instrument of several said it.
    ConsoleLog(StreamWriter& log, bool logLines, const QString& name = {})
        : log_(log), logLines_(logLines),
          prefix_(name.isEmpty() ? QString() : u'[' + name + QStringLiteral("] ")) {}
    // Both kinds read alike on the log stream.
    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override { logEvent(text); }
    void line(const reading::DataLine& line) override;
    void unstableLine(const reading::DataLine& line) override;

private:
    void write(const QString& time, const QString& text);

    StreamWriter& log_;
    const bool logLines_;
    const QString prefix_;
};

// The program's messages beside the run (the serial library's lines among them): "HH:MM:SS
// text" lines on standard error, one write each, so that lines from several threads never
// split one another. Any thread.
class StandardErrorLog : public reading::EventLog {
public:
    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override { logEvent(text); }
};

// The run's messages for the user, in the log: a warning titled, anything else as it reads.
class ConsoleNotifier : public Notifier {
public:
    explicit ConsoleNotifier(RunLog& log) : log_(log) {}
    void show(Kind kind, const QString& title, const QString& message) override;

private:
    RunLog& log_;
};

// Each line's value (empty when it has none or repeats) as one record on the value stream,
// written by a writer of its own, so that a stalled reader never blocks the run.
class ValueWriter : public ReadingConsumer {
public:
    // `tag`, when given, goes before each value with a tab: which instrument of several read it.
    ValueWriter(StreamWriter& values, RunLog& log, ValueFormat format, const QString& tag = {})
        : values_(values), log_(log), format_(format),
          tag_(tag.isEmpty() ? QByteArray() : tag.toUtf8() + '\t') {}
    void reading(const reading::DataLine& line, ReadingOutcome outcome) override;

private:
    StreamWriter& values_;
    RunLog& log_;
    const ValueFormat format_;
    const QByteArray tag_;
    bool dropping_ = false; // values are being dropped: said once per stretch
};

} // namespace tarovex::console
