// The log pane under a flood: one batch shows its newest lines and counts the rest.
#include "tarovex/ui/LogView.h"
#include "UiTestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace tarovex;

TEST(LogView, ABatchShowsItsNewestLinesAndCountsTheOthers) {
    ui_test::application();
    const struct {
        int lines;
        int shown; // lines of the pane afterwards, the count line included
        const char* first;
    } rows[] = {
        {3, 3, "line 0"},
        {ui::LogView::maxLinesPerBatch, ui::LogView::maxLinesPerBatch, "line 0"},
        {ui::LogView::maxLinesPerBatch + 700, ui::LogView::maxLinesPerBatch + 1, "(700 lines not shown)"},
    };
    for (const auto& r : rows) {
        MessageLog log;
        ui::LogView view(log);
        const QDateTime t = QDateTime::currentDateTime();
        for (int i = 0; i < r.lines; ++i)
            log.append(eventLine(t, QStringLiteral("line %1").arg(i), LogStyle::Regular));
        const QDeadlineTimer deadline(5000);
        while (view.lineCount() == 0 && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        const QStringList shown = view.toPlainText().split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(shown.size(), r.shown) << r.lines;
        EXPECT_TRUE(shown.first().endsWith(r.first)) << shown.first().toStdString();
        EXPECT_TRUE(shown.last().endsWith(QStringLiteral("line %1").arg(r.lines - 1)));
    }
}

TEST(LogView, FollowsTheNewestLineUnlessScrolledUpAlsoWhileHidden) {
    ui_test::application();
    MessageLog log;
    ui::LogView view(log);
    view.resize(400, 200);
    view.show();
    int n = 0;
    const auto addLines = [&] {
        const int want = view.lineCount() + 100;
        for (int i = 0; i < 100; ++i)
            log.append(eventLine(QDateTime::currentDateTime(), QStringLiteral("line %1").arg(n++),
                                 LogStyle::Regular));
        ASSERT_TRUE(ui_test::runUntil([&] { return view.lineCount() >= want; }, 5000));
    };
    QScrollBar* bar = view.verticalScrollBar();
    const auto atEnd = [&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); };
    const auto showAgain = [&] {
        view.show();
        QApplication::processEvents();
    };
    addLines();
    EXPECT_TRUE(atEnd());
    view.hide(); // another tab in front
    addLines();
    showAgain();
    EXPECT_TRUE(atEnd()) << "followed while hidden";

    bar->setValue(0); // the user scrolls up
    view.hide();
    addLines();
    showAgain();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(view.followsNewest());

    QKeyEvent ctrlEnd(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view, &ctrlEnd);
    EXPECT_TRUE(atEnd());
    addLines();
    EXPECT_TRUE(atEnd());
    EXPECT_EQ(view.lineWrapMode(), QTextEdit::WidgetWidth);
}
