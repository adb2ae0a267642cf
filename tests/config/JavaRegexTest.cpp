#include "config/JavaRegex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using tarovex::config::JavaRegex;

namespace {

std::string errorOf(const QString& pattern) {
    try {
        JavaRegex::compile(pattern);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(accepted)";
}

} // namespace

TEST(JavaRegex, SyntaxErrorsCarryJavaStyleMessages) {
    struct Row {
        const char* pattern;
        const char* message;
    };
    const Row rows[] = {
        {"a)", "Unmatched closing ')' near index 0\na)\n^"},
        {"(a", "Unclosed group near index 2\n(a"},
        {"*a", "Dangling meta character '*' near index 0\n*a\n^"},
        {"[a", "Unclosed character class near index 1\n[a\n ^"},
        {"a{3,2}", "Illegal repetition range near index 5\na{3,2}\n     ^"},
        {"[z-a]", "Illegal character range near index 3\n[z-a]\n   ^"},
        {"\\q", "Illegal/unsupported escape sequence near index 1\n\\q\n ^"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(errorOf(QString::fromLatin1(r.pattern)), r.message) << r.pattern;
}

TEST(JavaRegex, ConstructsPcreReadsDifferentlyAreRefused) {
    struct Row {
        const char* pattern;
        const char* start;
    };
    const Row rows[] = {
        {"[a-z&&[^b]]", "Character class intersection (&&) is not supported"},
        {"\\p{javaLowerCase}", "The character property {javaLowerCase} is not supported"},
        {"\\p{IsAlpha}", "The character property {IsAlpha} is not supported"},
        {"(?u)kg", "The inline flag u is not supported"},
        {"(?i)(a)\\1", "A back reference under (?i) is not supported"},
        {"[a[^b]]", "A negated class inside a class is not supported"},
        {"\\X", "The grapheme cluster \\X is not supported"},
        {"a{1,70000}", "A repetition count above 65535 is not supported"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(errorOf(QString::fromLatin1(r.pattern)).rfind(r.start, 0), 0u)
            << r.pattern << ": " << errorOf(QString::fromLatin1(r.pattern));
        EXPECT_FALSE(JavaRegex::isValid(QString::fromLatin1(r.pattern)));
    }
}

TEST(JavaRegex, TranslationNeedsNoPatternOptions) {
    // The meaning is in the pattern text; the default options of QRegularExpression hold.
    const QRegularExpression re = JavaRegex::compile("(.)$");
    EXPECT_EQ(re.patternOptions(), QRegularExpression::NoPatternOption);
    EXPECT_EQ(re.match(QString::fromLatin1("ab\r\n")).captured(1), "b");
    EXPECT_EQ(re.match(QStringView(u"ab\u2028").toString()).captured(1), "b");
    // Only one terminator may follow.
    EXPECT_FALSE(re.match(QString::fromLatin1("ab\r\n\r\n")).hasMatch());
}

TEST(JavaRegex, IsValidNeverThrows) {
    EXPECT_TRUE(JavaRegex::isValid("([-+]?\\s*[0-9]*[\\.,]?[0-9]+)"));
    EXPECT_FALSE(JavaRegex::isValid("\\"));
    EXPECT_FALSE(JavaRegex::isValid("(?<=a+)b"));
    EXPECT_FALSE(JavaRegex::isValid(QString::fromLatin1("\\x{110000}")));
    EXPECT_FALSE(JavaRegex::isValid(QString::fromLatin1("\\uD800")));
}
