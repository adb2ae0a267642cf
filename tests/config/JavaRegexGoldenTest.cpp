#include "config/JavaRegex.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

#include <stdexcept>

using tarovex::config::JavaRegex;

// Every row of the table that tools/regex-golden/GenerateGolden.java wrote with a real
// Java runtime must come out the same through the translation.

namespace {

QString unescape(const QString& s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'\\') {
            out += u'\\';
            ++i;
        } else if (s[i] == u'\\' && i + 5 < s.size() && s[i + 1] == u'u') {
            out += QChar(char16_t(s.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 5;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string shown(const QString& s) {
    std::string out;
    for (const QChar c : s) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += char(c.unicode());
        else
            out += "\\u" + QString::number(c.unicode(), 16).rightJustified(4, u'0').toStdString();
    }
    return out;
}

struct Row {
    int line = 0;
    QString pattern;
    QString input;
    QString verdict; // invalid, nomatch or match
    int start = -1;
    int end = -1;
    QStringList groups; // "-" or "=" + text
};

QList<Row> readTable() {
    QFile file(QStringLiteral(TAROVEX_TEST_DATA_DIR "/java-regex-golden.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Row> rows;
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        QString line = QString::fromLatin1(file.readLine());
        if (line.endsWith(u'\n'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList f = line.split(u'\t');
        Row r;
        r.line = lineNo;
        r.pattern = unescape(f.value(0));
        r.input = unescape(f.value(1));
        r.verdict = f.value(2);
        if (r.verdict == u"match") {
            r.start = f.value(3).toInt();
            r.end = f.value(4).toInt();
            const int count = f.value(5).toInt();
            for (int g = 0; g < count; ++g) {
                const QString field = f.value(6 + g);
                r.groups << (field == u"-" ? field : u'=' + unescape(field.mid(1)));
            }
        }
        rows << r;
    }
    return rows;
}

// Patterns Java accepts that the translation refuses on purpose, because PCRE2 would read
// them differently or cannot express them: inline flags, intersection, graphemes, named
// characters, look-behind of varying length, Unicode POSIX properties, counts above
// PCRE2's limit.
const QStringList kRefused = {
    "[a&&b]",
    "[a-z&&[^aeiou]]",
    "\\p{javaLowerCase}",
    "(?i)abc",
    "(?x)a b",
    "\\X",
    "\\N{LATIN SMALL LETTER A}",
    "\\b{g}",
    "(?<=a+)b",
    "(?<=ab?)c",
    "(\\p{IsPunct}+)",
    "a{0,65536}",
};

} // namespace

TEST(JavaRegexGolden, EveryRowAgreesWithJava) {
    const QList<Row> rows = readTable();
    ASSERT_GT(rows.size(), 5000) << "golden table missing or truncated";

    QHash<QString, QRegularExpression> compiled;
    QSet<QString> failed;
    int checked = 0;
    for (const Row& r : rows) {
        const std::string where = "line " + std::to_string(r.line) + ", pattern " + r.pattern.toStdString();
        if (r.verdict == u"invalid") {
            EXPECT_FALSE(JavaRegex::isValid(r.pattern)) << where;
            EXPECT_THROW(JavaRegex::compile(r.pattern), std::invalid_argument) << where;
            continue;
        }
        if (kRefused.contains(r.pattern)) {
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
        const std::string what = where + ", input " + shown(r.input);
        ++checked;
        if (r.verdict == u"nomatch") {
            EXPECT_FALSE(m.hasMatch()) << what << " matched " << shown(m.captured(0));
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
