#include "worker/ValueExtractor.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

using tarovex::worker::ValueExtractor;

namespace {

const QString kDefault = QStringLiteral("([-+]?\\s*[0-9]*[\\.,]?[0-9]+)");

QString bytes(const char* s) {
    return ValueExtractor::fromBytes(QByteArrayView(s));
}

} // namespace

TEST(ValueExtractor, FirstMatchGroupOrEmptyOrAbsent) {
    struct Row {
        QString expression;
        int group;
        QString line;
        std::optional<QString> value;
    };
    const Row rows[] = {
        // sign, blanks and digits; the blanks go later
        {kDefault, 1, bytes("ST,GS,+  12.50 g\r"), QString("+  12.50")},
        // a line of the terminator alone has no value
        {kDefault, 1, bytes("\r"), QString()},
        {kDefault, 1, bytes("\n"), QString()},
        // the first match wins
        {kDefault, 1, bytes("1 2\r"), QString("1")},
        // the group number comes from the caller, whatever the expression holds
        {"(\\w+)=(\\d+)", 1, bytes("w=12\r"), QString("w")},
        {"(\\w+)=(\\d+)", 2, bytes("w=12\r"), QString("12")},
        {"(\\w+)=(\\d+)", 0, bytes("w=12\r"), QString("w=12")},
        // an expression without that group: no value on a match, empty without one
        {"\\d+", 1, bytes("12\r"), std::nullopt},
        {"\\d+", 1, bytes("ab\r"), QString()},
        // a group that took no part in the match
        {"(a)|(b)", 1, bytes("b"), std::nullopt},
        {"(a)|(b)", 2, bytes("b"), QString("b")},
        // a group that matched nothing is empty, not absent
        {"x(\\d*)", 1, bytes("x\r"), QString()},
        // an empty (even null) line can still match
        {"(x*)", 1, QString(), QString()},
        {"(x+)", 1, QString(), QString()},
        // '$' before the final terminator, '^' only at the start
        {"(\\d+)$", 1, bytes("7 12\r\n"), QString("12")},
        {"^N:\\s*([0-9]*\\.?[0-9]+)", 1, bytes("\nN: 4\r"), QString()},
    };
    for (const Row& r : rows) {
        const ValueExtractor extractor(r.expression, r.group);
        EXPECT_EQ(extractor.extract(r.line), r.value)
            << r.expression.toStdString() << " group " << r.group << " on " << r.line.toStdString();
    }
}

TEST(ValueExtractor, ReceivedBytesAreLatin1Characters) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = ValueExtractor::fromBytes(all);
    ASSERT_EQ(text.size(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text.at(b).unicode(), b);

    struct Row {
        const char* expression;
        const char* line;
        QString value;
    };
    const Row rows[] = {
        {"\\u00b0(\\d+)",
         "\xB0"
         "12\r",
         "12"},
        {"(\\d+)\\xb5", "x 7\xB5m\r", "7"},
        {"([\\x80-\\xff]+)", "ab\x80\xFF\xC4x", QString::fromLatin1("\x80\xFF\xC4")},
        // NEL (0x85) ends a line for '.', 0xA0 is no white space for \s
        {"(.+)",
         "a\x85"
         "b",
         "a"},
        {"(\\S+)",
         "\xA0"
         "5\xA0",
         QString::fromLatin1("\xA0"
                             "5\xA0")},
        {"(\\w+)",
         "\xE9t\xE9"
         "5",
         "t"},
        // Java's \b counts Latin-1 letters as word characters
        {"\\b(\\d)",
         "\xE9"
         "5 6",
         "6"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ValueExtractor(r.expression, 1).extract(bytes(r.line)), r.value) << r.expression;
}

TEST(ValueExtractor, CustomExpressionWinsWhenNotEmpty) {
    EXPECT_EQ(ValueExtractor::chooseExpression("", kDefault), kDefault);
    EXPECT_EQ(ValueExtractor::chooseExpression("(\\d+)kg", kDefault), "(\\d+)kg");
}

TEST(ValueExtractor, ReportsMissingGroupAndInvalidExpression) {
    EXPECT_TRUE(ValueExtractor(kDefault, 1).hasGroup());
    EXPECT_FALSE(ValueExtractor("\\d+", 1).hasGroup());
    EXPECT_TRUE(ValueExtractor("\\d+", 0).hasGroup());
    EXPECT_FALSE(ValueExtractor("(\\d)", -1).hasGroup());
    EXPECT_EQ(ValueExtractor("(\\d)", -1).extract("5"), std::nullopt);
    EXPECT_THROW(ValueExtractor("([0-9]", 1), std::invalid_argument);
    EXPECT_THROW(ValueExtractor("[a&&b]", 1), std::invalid_argument);
}

TEST(ValueExtractor, CopiesWorkOnTheirOwn) {
    ValueExtractor a("(\\d+)", 1);
    const ValueExtractor b = a;
    ValueExtractor c("x", 0);
    c = b;
    EXPECT_EQ(a.extract("a12"), QString("12"));
    EXPECT_EQ(b.extract("b34"), QString("34"));
    EXPECT_EQ(c.extract("c56"), QString("56"));
    EXPECT_EQ(c.expression(), "(\\d+)");
    ValueExtractor moved = std::move(a);
    EXPECT_EQ(moved.extract("7"), QString("7"));
}

TEST(ValueExtractor, AnEngineLimitIsAnErrorNotAMissingValue) {
    // Nested repetition over a long line exhausts the backtracking stack.
    const ValueExtractor extractor("((.)*)x", 1);
    const QString line = QString(1000000, u'a') + u'x';
    try {
        extractor.extract(line);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("The expression could not be applied to the line: ", 0), 0u)
            << e.what();
    }
}
