#include "tarovex/ui/LogView.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace tarovex::ui {

LogView::LogView(MessageLog& log, QWidget* parent) : QTextEdit(parent), log_(log) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // Long lines wrap, so nothing of a line is out of sight.
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont font(QStringLiteral("Courier New"), 11);
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    // The last block is the empty one after the final newline.
    document()->setMaximumBlockCount(log.maxLines() + 1);
    connect(&log_, &MessageLog::linesReady, this, &LogView::takeBatch);
    // Only the user's scrolling decides: a hidden pane's scroll bar is not laid out.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!scrolling_ && isVisible())
            following_ = value >= verticalScrollBar()->maximum() - 2;
    });
}

void LogView::scrollToEnd() {
    scrolling_ = true;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    scrolling_ = false;
}

void LogView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & Qt::ControlModifier &&
        (event->key() == Qt::Key_End || event->key() == Qt::Key_Home)) {
        following_ = event->key() == Qt::Key_End;
        if (following_)
            scrollToEnd();
        else
            verticalScrollBar()->setValue(0);
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void LogView::showEvent(QShowEvent* event) {
    QTextEdit::showEvent(event);
    if (following_)
        scrollToEnd();
}

QTextCharFormat LogView::format(LogStyle style) {
    static const QColor typed(0, 110, 0), important(180, 0, 0), ignored(120, 120, 120), unstable(170, 110, 0);
    QTextCharFormat f;
    switch (style) {
    case LogStyle::Regular:
        break;
    case LogStyle::Unknown:
        f.setFontItalic(true);
        f.setForeground(typed);
        break;
    case LogStyle::Important:
        f.setForeground(important);
        break;
    case LogStyle::Typed:
        f.setForeground(typed);
        f.setFontWeight(QFont::Bold);
        break;
    case LogStyle::Ignored:
        f.setForeground(ignored);
        break;
    case LogStyle::Unstable:
        f.setFontItalic(true);
        f.setForeground(unstable);
        break;
    }
    return f;
}

int LogView::lineCount() const {
    return document()->blockCount() - 1;
}

void LogView::takeBatch() {
    const QList<LogLine> lines = log_.takePending();
    if (lines.isEmpty())
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    const qsizetype skipped = std::max<qsizetype>(0, lines.size() - maxLinesPerBatch);
    if (skipped > 0)
        cursor.insertText(QStringLiteral("(%1 lines not shown)\n").arg(skipped), format(LogStyle::Regular));
    for (qsizetype i = skipped; i < lines.size(); ++i)
        for (const LogSpan& span : lines[i])
            cursor.insertText(span.text, format(span.style));
    cursor.endEditBlock();
    if (following_)
        scrollToEnd();
}

} // namespace tarovex::ui
