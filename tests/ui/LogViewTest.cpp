// The log pane under a flood: one batch shows its newest lines and counts the rest.
#include "tarovex/ui/LogView.h"
#include "UiTestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>

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
