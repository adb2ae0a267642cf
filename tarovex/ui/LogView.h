#pragma once

#include "tarovex/log/MessageLog.h"

#include <QTextCharFormat>
#include <QTextEdit>

namespace tarovex::ui {

// The message log pane: takes the log's batches on the UI thread, one document edit per
// batch, and keeps the newest MessageLog::maxLines() lines.
class LogView : public QTextEdit {
    Q_OBJECT

public:
    // A flood of lines would keep the UI thread laying out text faster than anyone can read
    // it: a batch shows its newest lines only, after one line that counts the others.
    static constexpr int maxLinesPerBatch = 500;

    LogView(MessageLog& log, QWidget* parent = nullptr);
    // Lines shown now.
    int lineCount() const;
    static QTextCharFormat format(LogStyle style);

private:
    void takeBatch();
    MessageLog& log_;
};

} // namespace tarovex::ui
