#include "config/JavaRegex.h"
#include "tests/GoldenTable.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <stdexcept>

using tarovex::config::JavaRegex;

// Every row of the table that tools/regex-golden/GenerateGolden.java wrote with a real
// Java runtime must come out the same through the translation.

TEST(JavaRegexGolden, EveryRowAgreesWithJava) {
    const QList<golden::Row> rows = golden::readTable();
    ASSERT_GT(rows.size(), 5000) << "golden table missing or truncated";

    QHash<QString, QRegularExpression> compiled;
    QSet<QString> failed;
    int checked = 0;
    for (const golden::Row& r : rows) {
        const std::string where = "line " + std::to_string(r.line) + ", pattern " + r.pattern.toStdString();
        if (r.verdict == u"invalid") {
            EXPECT_FALSE(JavaRegex::isValid(r.pattern)) << where;
            EXPECT_THROW(JavaRegex::compile(r.pattern), std::invalid_argument) << where;
            continue;
        }
        if (golden::kRefused.contains(r.pattern)) {
            EXPECT_FALSE(JavaRegex::isValid(r.pattern)) << where;
            continue;
        }
        if (failed.contains(r.pattern))
            continue;
        auto it = compiled.find(r.pattern);
        if (it == compiled.end()) {
            QRegularExpression re;
            try {
                re = JavaRegex::compile(r.pattern);
            } catch (const std::invalid_argument& e) {
                ADD_FAILURE() << where << " refused: " << e.what();
                failed.insert(r.pattern);
                continue;
            }
            it = compiled.insert(r.pattern, re);
        }
        const QRegularExpressionMatch m = it->match(r.input);
        const std::string what = where + ", input " + golden::shown(r.input);
        ++checked;
        if (r.verdict == u"nomatch") {
            EXPECT_FALSE(m.hasMatch()) << what << " matched " << golden::shown(m.captured(0));
            continue;
        }
        if (!m.hasMatch()) {
            ADD_FAILURE() << what << " found no match";
            continue;
        }
        EXPECT_EQ(m.capturedStart(0), r.start) << what;
        EXPECT_EQ(m.capturedEnd(0), r.end) << what;
        if (it->captureCount() != r.groups.size()) {
            ADD_FAILURE() << what << " has " << it->captureCount() << " groups";
            continue;
        }
        for (int g = 1; g <= r.groups.size(); ++g) {
            const QString expected = r.groups[g - 1];
            const QString actual = m.capturedStart(g) < 0 ? QStringLiteral("-") : u'=' + m.captured(g);
            EXPECT_EQ(actual, expected) << what << ", group " << g;
        }
    }
    EXPECT_GT(checked, 5000);
}
