#pragma once

#include "tarovex/log/MessageLog.h"

#include <QTextCharFormat>
#include <QTextEdit>

namespace tarovex::ui {

// The message log pane: takes the log's batches on the UI thread, one document edit per
// batch, and keeps the newest MessageLog::maxLines() lines. It follows the newest line
// unless the user scrolled up, also while another tab was in front; Ctrl+End follows again.
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
    // True while new lines scroll the pane to the end.
    bool followsNewest() const { return following_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void takeBatch();
    void scrollToEnd();
    MessageLog& log_;
    bool following_ = true;
    bool scrolling_ = false; // our own scrolling, not the user's
};

} // namespace tarovex::ui
