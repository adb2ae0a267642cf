#include "config/Decimal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using tarovex::config::ArithmeticException;
using tarovex::config::Decimal;
using tarovex::config::NumberFormatException;
using tarovex::config::RoundingMode;

namespace {

const std::map<std::string, RoundingMode> kModes = {
    {"CEILING", RoundingMode::CEILING},
    {"DOWN", RoundingMode::DOWN},
    {"FLOOR", RoundingMode::FLOOR},
    {"HALF_DOWN", RoundingMode::HALF_DOWN},
    {"HALF_EVEN", RoundingMode::HALF_EVEN},
    {"HALF_UP", RoundingMode::HALF_UP},
    {"UP", RoundingMode::UP},
};

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    return fields;
}

std::string unscaledAndScale(const Decimal& d) {
    return d.unscaledValue().get_str() + "\t" + std::to_string(d.scale());
}

template <typename F> std::string resultOf(F op) {
    try {
        return unscaledAndScale(op());
    } catch (const ArithmeticException&) {
        return "ArithmeticException\t-";
    }
}

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

} // namespace

// Every row of the reference table, produced once with Java's BigDecimal.
TEST(Decimal, MatchesReferenceTable) {
    std::ifstream in(TAROVEX_TEST_DATA_DIR "/decimal_reference.tsv");
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto f = splitTabs(line);
        ASSERT_GE(f.size(), 7u) << line;
        const std::string& op = f[0];
        const Decimal a = Decimal::parse(f[1]);
        const std::string expected = f[5] + "\t" + f[6];
        SCOPED_TRACE(line);
        if (op == "setScale") {
            EXPECT_EQ(resultOf([&] { return a.setScale(std::stoi(f[3]), kModes.at(f[4])); }), expected);
        } else if (op == "divide") {
            const Decimal b = Decimal::parse(f[2]);
            EXPECT_EQ(resultOf([&] { return a.divide(b, std::stoi(f[3]), kModes.at(f[4])); }), expected);
        } else if (op == "multiply") {
            EXPECT_EQ(unscaledAndScale(a.multiply(Decimal::parse(f[2]))), expected);
        } else if (op == "subtract") {
            EXPECT_EQ(unscaledAndScale(a.subtract(Decimal::parse(f[2]))), expected);
        } else if (op == "compare") {
            EXPECT_EQ(std::to_string(a.compareTo(Decimal::parse(f[2]))), f[5]);
        } else if (op == "plain") {
            const std::string plain = a.toPlainString();
            EXPECT_EQ(plain.size() > 60 ? "len" + std::to_string(plain.size()) : plain, f[5]);
            EXPECT_EQ(std::to_string(a.scale()), f[6]);
            EXPECT_EQ(std::to_string(a.precision()), f[7]);
        } else {
            FAIL() << "unknown operation " << op;
        }
        ++rows;
    }
    EXPECT_GT(rows, 1900);
}

TEST(Decimal, ParsesTheAcceptedForms) {
    struct Case {
        const char* text;
        long unscaled;
        int scale;
    };
    const Case cases[] = {
        {"12.50", 1250, 2},     {"+12.50", 1250, 2},    {"-12.50", -1250, 2}, {"0012.500", 12500, 3},
        {"1.", 1, 0},           {".5", 5, 1},           {"-.5", -5, 1},       {"1E3", 1, -3},
        {"1e+3", 1, -3},        {"1.5E-1", 15, 2},      {"-0.00", 0, 2},      {"0", 0, 0},
        {"1E10000", 1, -10000}, {"1E-10000", 1, 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Decimal d = Decimal::parse(c.text);
        EXPECT_EQ(d.unscaledValue(), c.unscaled);
        EXPECT_EQ(d.scale(), c.scale);
        EXPECT_EQ(Decimal::parse(QString::fromLatin1(c.text)), d);
    }
}

TEST(Decimal, CommaCountsAsPointOnlyWhenAsked) {
    EXPECT_EQ(Decimal::parse("12,5", true), Decimal(125, 1));
    EXPECT_EQ(Decimal::parse(QStringLiteral("-1,5E2"), true), Decimal(-15, -1));
    EXPECT_THROW(Decimal::parse("12,5"), NumberFormatException);
    EXPECT_THROW(Decimal::parse("1,2.5", true), NumberFormatException);
    EXPECT_THROW(Decimal::parse("1,2,5", true), NumberFormatException);
}

TEST(Decimal, RefusesHostileTextWithANumberFormatError) {
    const std::string refused[] = {
        "",
        "+",
        "-",
        ".",
        "+.",
        "-.E1",
        "abc",
        "12a",
        "1.2.3",
        "1..2",
        "--1",
        "+-1",
        " 1",
        "1 ",
        "1E",
        "1E+",
        "1E-",
        "E5",
        "1E5.0",
        "1E5E5",
        "0x10",
        "1_000",
        "١٢",
        "12\xB0",
        "\x80",
        "\xFF",
        "1E999999999",
        "1E-999999999",
        "1E99999999999999999999999999",
        "-1E10001",
        "1E" + repeat('9', 10000),
    };
    for (const auto& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_THROW(Decimal::parse(text), NumberFormatException);
        EXPECT_FALSE(Decimal::tryParse(text).has_value());
    }
    // UTF-16 units above Latin-1 and bytes 0x80-0xFF as characters are not digits.
    for (char16_t c : {u'\u00B2', u'\u0660', u'\uFF11', u'\u0080', u'\u00FF'}) {
        const QString text = QStringLiteral("1") + QChar(c);
        EXPECT_THROW(Decimal::parse(text), NumberFormatException);
    }
}

TEST(Decimal, ErrorTextsQuoteTheRefusedTextReadably) {
    auto message = [](const std::string& text) {
        try {
            Decimal::parse(text);
        } catch (const NumberFormatException& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("12a"), "Not a decimal number: \"12a\"");
    EXPECT_EQ(message("1\t\xB0"), "Not a decimal number: \"1<9><176>\"");
    EXPECT_EQ(message("1E999999999"), "Exponent out of range (at most 10000): \"1E999999999\"");
    EXPECT_EQ(message(repeat('x', 50)), "Not a decimal number: \"" + repeat('x', 40) + "...\"");
}

TEST(Decimal, LongNumbersAreExact) {
    const std::string digits = "1" + repeat('0', 9999); // 10,000 digits
    const Decimal big = Decimal::parse(digits + ".5");
    EXPECT_EQ(big.precision(), 10001);
    EXPECT_EQ(big.scale(), 1);
    EXPECT_EQ(big.setScale(0, RoundingMode::HALF_UP).toPlainString(), "1" + repeat('0', 9998) + "1");
    EXPECT_EQ(big.setScale(0, RoundingMode::HALF_EVEN).toPlainString(), digits);
    EXPECT_EQ(big.negate().toPlainString(), "-" + digits + ".5");
    EXPECT_EQ(big.subtract(big).signum(), 0);
    EXPECT_EQ(big.compareTo(Decimal::parse(digits)), 1);
    EXPECT_EQ(Decimal::parse(repeat('0', 20000) + "7").toPlainString(), "7");
    EXPECT_EQ(Decimal::parse("0." + repeat('0', 20000) + "7").precision(), 1);
    EXPECT_THROW(Decimal::parse(repeat('1', Decimal::kMaxDigits + 1)), NumberFormatException);
}

TEST(Decimal, ExtremeScalesStayBounded) {
    const Decimal tiny = Decimal::parse("1E-10000");
    const Decimal huge = Decimal::parse("1E10000");
    // Dividing far below the requested scale needs no power of ten of that size.
    EXPECT_EQ(tiny.divide(huge, 7, RoundingMode::UP), Decimal(1, 7));
    EXPECT_EQ(tiny.divide(huge, 7, RoundingMode::HALF_UP), Decimal(0, 7));
    EXPECT_EQ(tiny.negate().setScale(2, RoundingMode::FLOOR), Decimal(-1, 2));
    EXPECT_EQ(tiny.negate().setScale(2, RoundingMode::CEILING), Decimal(0, 2));
    EXPECT_EQ(huge.compareTo(tiny), 1);
    EXPECT_EQ(tiny.negate().compareTo(huge.negate()), 1);
    EXPECT_EQ(huge.divide(tiny, 0, RoundingMode::DOWN).precision(), 20001);
    EXPECT_EQ(huge.multiply(huge).scale(), -20000);
    // A scale change beyond the bound is refused instead of building the number.
    EXPECT_THROW(Decimal(1).setScale(Decimal::kMaxScaleShift + 1, RoundingMode::DOWN), ArithmeticException);
    EXPECT_THROW(Decimal(1, INT32_MAX).multiply(Decimal(1, 1)), ArithmeticException);
}

// Values past 64 bits whose rounding removes exactly all their digits: the last digit
// removed decides, so no shortcut may treat them as far below the new scale.
TEST(Decimal, RoundingAwayEveryDigitOfALongValue) {
    struct Row {
        const char* value;
        const char* divisor; // empty: setScale(0)
        const char* byMode;  // CEILING DOWN FLOOR HALF_DOWN HALF_EVEN HALF_UP UP
    };
    const Row rows[] = {
        {"0.6000000000000000000001", "", "1 0 0 1 1 1 1"},
        {"-0.6000000000000000000001", "", "0 0 -1 -1 -1 -1 -1"},
        {"-0.5000000000000000000000", "", "0 0 -1 0 0 -1 -1"},
        {"0.5000000000000000000001", "", "1 0 0 1 1 1 1"},
        {"6000000000000000000000", "1E22", "1 0 0 1 1 1 1"},
        {"-5000000000000000000000", "1E22", "0 0 -1 0 0 -1 -1"},
        {"5000000000000000000001", "1E22", "1 0 0 1 1 1 1"},
    };
    const RoundingMode modes[] = {RoundingMode::CEILING,   RoundingMode::DOWN,      RoundingMode::FLOOR,
                                  RoundingMode::HALF_DOWN, RoundingMode::HALF_EVEN, RoundingMode::HALF_UP,
                                  RoundingMode::UP};
    for (const Row& r : rows) {
        const Decimal a = Decimal::parse(r.value);
        std::string got;
        for (RoundingMode m : modes) {
            const Decimal d = *r.divisor ? a.divide(Decimal::parse(r.divisor), 0, m) : a.setScale(0, m);
            got += (got.empty() ? "" : " ") + d.toPlainString();
        }
        EXPECT_EQ(got, r.byMode) << r.value << " / " << r.divisor;
    }
}

TEST(Decimal, SixtyFourBitBoundary) {
    const Decimal max(INT64_MAX);
    const Decimal min(INT64_MIN);
    EXPECT_EQ(min.toPlainString(), "-9223372036854775808");
    EXPECT_EQ(min.negate().toPlainString(), "9223372036854775808");
    EXPECT_EQ(max.add(Decimal(1)).toPlainString(), "9223372036854775808");
    EXPECT_EQ(max.add(Decimal(1)).subtract(Decimal(1)), max);
    EXPECT_EQ(max.multiply(max).toPlainString(), "85070591730234615847396907784232501249");
    EXPECT_EQ(min.divide(Decimal(-1), 0, RoundingMode::DOWN).toPlainString(), "9223372036854775808");
    EXPECT_EQ(max.setScale(2, RoundingMode::DOWN).toPlainString(), "9223372036854775807.00");
    EXPECT_EQ(Decimal::parse("92233720368547758.075").setScale(2, RoundingMode::HALF_EVEN).toPlainString(),
              "92233720368547758.08");
}

TEST(Decimal, PlainStringWithSeparator) {
    EXPECT_EQ(Decimal(-5, 3).toPlainString(','), "-0,005");
    EXPECT_EQ(Decimal(1250, 2).toPlainString(','), "12,50");
    EXPECT_EQ(Decimal(12, -2).toPlainString(','), "1200");
    EXPECT_EQ(Decimal(0, 2).toQString(), QStringLiteral("0.00"));
}

TEST(Decimal, ComparisonIgnoresScaleEqualityDoesNot) {
    EXPECT_EQ(Decimal::parse("2.0").compareTo(Decimal::parse("2.00")), 0);
    EXPECT_FALSE(Decimal::parse("2.0") == Decimal::parse("2.00"));
    EXPECT_EQ(Decimal::parse("-0.05").abs(), Decimal(5, 2));
    EXPECT_EQ(Decimal::parse("12.54").subtract(Decimal::parse("12.50")).compareTo(Decimal(5, 2)), -1);
}
