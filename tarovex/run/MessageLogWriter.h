#pragma once

#include "tarovex/log/MessageLog.h"
#include "tarovex/run/RunServices.h"

namespace tarovex {

// The window's message log as the log of a run and of the serial library; any thread. With a
// name, each line tells after its time which instrument of several it came from.
class MessageLogWriter : public RunLog {
public:
    explicit MessageLogWriter(MessageLog& log, QString name = {}) : log_(log), name_(std::move(name)) {}
    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void line(const reading::DataLine& line) override;
    void unstableLine(const reading::DataLine& line) override;

private:
    void append(LogLine line);

    MessageLog& log_;
    const QString name_;
};

} // namespace tarovex
