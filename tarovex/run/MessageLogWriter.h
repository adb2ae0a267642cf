#pragma once

#include "tarovex/log/MessageLog.h"
#include "tarovex/run/RunServices.h"

namespace tarovex {

// The window's message log as the log of a run and of the serial library; any thread.
class MessageLogWriter : public RunLog {
public:
    explicit MessageLogWriter(MessageLog& log) : log_(log) {}
    void logEvent(const QString& text) override;
    void logImportantEvent(const QString& text) override;
    void line(const reading::DataLine& line) override;
    void unstableLine(const reading::DataLine& line) override;

private:
    MessageLog& log_;
};

} // namespace tarovex
