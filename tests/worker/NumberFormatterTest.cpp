#include "worker/NumberFormatter.h"

#include "config/Config.h"

#include <gtest/gtest.h>

using tarovex::config::ArithmeticException;
using tarovex::config::Config;
using tarovex::config::Decimal;
using tarovex::config::NumberFormatException;
using tarovex::config::RoundingMode;
using tarovex::config::ConfigHelper::DecimalSeparator;
using tarovex::config::ConfigHelper::MathOperation;
using tarovex::config::ConfigHelper::RoundingMethod;
using tarovex::worker::NumberFormatter;

namespace {

struct Settings {
    QString decimalPlaces{};
    RoundingMethod rounding = RoundingMethod::HALF_UP;
    MathOperation operation = MathOperation::NONE;
    QString operand{};
    DecimalSeparator separator = DecimalSeparator::DOT;
};

Config configFor(const Settings& s) {
    Config c;
    c.setDecimalPlaces(s.decimalPlaces);
    c.setRoundingMethod(s.rounding);
    c.setMathOperation(s.operation);
    c.setMathOperand(s.operand);
    c.setDecimalSeparator(s.separator);
    return c;
}

QString formatted(const Settings& s, const QString& value) {
    return NumberFormatter::fromConfig(configFor(s)).format(value);
}

struct Row {
    Settings settings;
    QString in;
    QString out;
};

void expectRows(const std::vector<Row>& rows) {
    for (const auto& r : rows) {
        SCOPED_TRACE(r.in.toStdString() + " places=" + r.settings.decimalPlaces.toStdString() + " " +
                     r.settings.rounding.name().toStdString() + " " +
                     r.settings.operation.name().toStdString() + " " + r.settings.operand.toStdString());
        EXPECT_EQ(formatted(r.settings, r.in), r.out);
    }
}

const Settings kPlain{};
const Settings kComma{.separator = DecimalSeparator::COMMA};

Settings rounded(const char* places, RoundingMethod m) {
    return Settings{.decimalPlaces = places, .rounding = m};
}

} // namespace

TEST(NumberFormatter, WithoutRoundingKeepsTheInputsDecimals) {
    expectRows({
        {kPlain, "0012.500", "12.500"},
        {kPlain, "+12.50", "12.50"},
        {kPlain, "-12.50", "-12.50"},
        {kPlain, "12", "12"},
        {kPlain, "-.5", "-0.5"},
        {kPlain, "1.", "1"},
        {kPlain, "1E3", "1000"},
        {kPlain, "1.5E-1", "0.15"},
        {kPlain, "-1.50e2", "-150"},
        {kPlain, "0E5", "0"},
        {kPlain, "123456789012345678901234567890.125", "123456789012345678901234567890.125"},
    });
}

TEST(NumberFormatter, SeparatorComesOnlyFromTheSetting) {
    expectRows({
        {kPlain, "12,5", "12.5"},
        {kComma, "12.5", "12,5"},
        {kComma, "12,5", "12,5"},
        {kComma, "-0,05", "-0,05"},
        {kComma, "1,5E-1", "0,15"},
        {kComma, "1200", "1200"},
        {Settings{.decimalPlaces = "1", .separator = DecimalSeparator::COMMA}, "12,34", "12,3"},
    });
}

TEST(NumberFormatter, NeverWritesANegativeZero) {
    expectRows({
        {kPlain, "-0.00", "0.00"},
        {kPlain, "-0", "0"},
        {kComma, "-0,000", "0,000"},
        {rounded("2", RoundingMethod::HALF_UP), "-0.001", "0.00"},
        {rounded("0", RoundingMethod::HALF_EVEN), "-0.5", "0"},
        {rounded("1", RoundingMethod::CEILING), "-0.09", "0.0"},
        {rounded("2", RoundingMethod::HALF_UP), "-0.005", "-0.01"},
        {Settings{.decimalPlaces = "2", .operation = MathOperation::DIVIDE, .operand = "1000"}, "-1", "0.00"},
        {Settings{.operation = MathOperation::MULTIPLY, .operand = "0"}, "-12.5", "0.0"},
    });
}

TEST(NumberFormatter, RoundingOnlyRemovesDigits) {
    expectRows({
        {rounded("2", RoundingMethod::HALF_UP), "12.5", "12.5"},
        {rounded("2", RoundingMethod::HALF_UP), "12", "12"},
        {rounded("2", RoundingMethod::HALF_UP), "12.345", "12.35"},
        {rounded("2", RoundingMethod::HALF_UP), "12.50", "12.50"},
        {rounded("2", RoundingMethod::UP), "1E3", "1000"},
        {rounded("0", RoundingMethod::HALF_UP), "12.5", "13"},
        {rounded("7", RoundingMethod::DOWN), "0.123456789", "0.1234567"},
    });
}

TEST(NumberFormatter, EveryRoundingModeOnTiesAndNonTies) {
    // value, then the result to 1 place under CEILING, DOWN, FLOOR, HALF_DOWN, HALF_EVEN, HALF_UP, UP
    struct Line {
        const char* in;
        const char* out[7];
    };
    const Line lines[] = {
        {"1.25", {"1.3", "1.2", "1.2", "1.2", "1.2", "1.3", "1.3"}},
        {"-1.25", {"-1.2", "-1.2", "-1.3", "-1.2", "-1.2", "-1.3", "-1.3"}},
        {"1.35", {"1.4", "1.3", "1.3", "1.3", "1.4", "1.4", "1.4"}},
        {"-1.35", {"-1.3", "-1.3", "-1.4", "-1.3", "-1.4", "-1.4", "-1.4"}},
        {"1.251", {"1.3", "1.2", "1.2", "1.3", "1.3", "1.3", "1.3"}},
        {"-1.249", {"-1.2", "-1.2", "-1.3", "-1.2", "-1.2", "-1.2", "-1.3"}},
        {"1,21", {"1.3", "1.2", "1.2", "1.2", "1.2", "1.2", "1.3"}},
        {"-0.05", {"0.0", "0.0", "-0.1", "0.0", "0.0", "-0.1", "-0.1"}},
        {"9.95", {"10.0", "9.9", "9.9", "9.9", "10.0", "10.0", "10.0"}},
    };
    const RoundingMethod modes[] = {
        RoundingMethod::CEILING,   RoundingMethod::DOWN,    RoundingMethod::FLOOR, RoundingMethod::HALF_DOWN,
        RoundingMethod::HALF_EVEN, RoundingMethod::HALF_UP, RoundingMethod::UP};
    for (const auto& line : lines)
        for (int m = 0; m < 7; ++m) {
            SCOPED_TRACE(std::string(line.in) + " " + modes[m].name().toStdString());
            EXPECT_EQ(formatted(rounded("1", modes[m]), line.in), line.out[m]);
        }
}

TEST(NumberFormatter, MultiplyKeepsTheProductsScale) {
    const auto times = [](const char* operand, const char* places = "",
                          RoundingMethod m = RoundingMethod::HALF_UP) {
        return Settings{
            .decimalPlaces = places, .rounding = m, .operation = MathOperation::MULTIPLY, .operand = operand};
    };
    expectRows({
        {times("0.001"), "1250", "1.250"},
        {times("2", "0"), "12.5", "25"},
        {times("1", "0", RoundingMethod::HALF_UP), "2.5", "3"},
        {times("1", "0", RoundingMethod::HALF_EVEN), "2.5", "2"},
        {times("1E2"), "1.2345", "123.45"},
        {times("-1.5"), "2,00", "-3.000"},
        {times("2", "2"), "12,345", "24.69"},
        {times("1E3"), "1", "1000"},
    });
}

TEST(NumberFormatter, DivideYieldsExactlyTheDecimalPlaces) {
    const auto by = [](const char* operand, const char* places, RoundingMethod m = RoundingMethod::HALF_UP) {
        return Settings{
            .decimalPlaces = places, .rounding = m, .operation = MathOperation::DIVIDE, .operand = operand};
    };
    expectRows({
        {by("3", "2", RoundingMethod::DOWN), "10", "3.33"},
        {by("3", "2", RoundingMethod::UP), "10", "3.34"},
        {by("4", "3"), "10", "2.500"},
        {by("3", "0", RoundingMethod::FLOOR), "-10", "-4"},
        {by("0.5", "1"), "1E3", "2000.0"},
        {by("1000", "7"), "12,5", "0.0125000"},
        {by("-8", "2", RoundingMethod::HALF_EVEN), "1", "-0.12"},
    });
}

TEST(NumberFormatter, DisabledSettingsAreNotApplied) {
    expectRows({
        // Decimal places outside 0..7 switch rounding off, and division with it.
        {rounded("8", RoundingMethod::DOWN), "12.345", "12.345"},
        {rounded("-1", RoundingMethod::DOWN), "12.345", "12.345"},
        {rounded("x", RoundingMethod::DOWN), "12.345", "12.345"},
        {Settings{.decimalPlaces = "", .operation = MathOperation::DIVIDE, .operand = "4"}, "10", "10"},
        {Settings{.decimalPlaces = "8", .operation = MathOperation::DIVIDE, .operand = "4"}, "10", "10"},
        {Settings{.operation = MathOperation::MULTIPLY, .operand = ""}, "10", "10"},
        {Settings{.operation = MathOperation::NONE, .operand = "5"}, "10", "10"},
    });
    // The constructor takes its flags from the settings, not from the values it is given.
    NumberFormatter f(configFor(kPlain), 1, RoundingMode::DOWN, MathOperation::MULTIPLY, Decimal(2));
    EXPECT_EQ(f.format(QStringLiteral("1.25")), "1.25");
    EXPECT_FALSE(f.isRoundingEnabled());
    EXPECT_FALSE(f.isMathEnabled());
}

TEST(NumberFormatter, RefusesWhatIsNotADecimalNumber) {
    NumberFormatter f = NumberFormatter::fromConfig(configFor(rounded("2", RoundingMethod::HALF_UP)));
    const QString refused[] = {"abc",
                               "1.2.3",
                               "+",
                               "-",
                               ".",
                               "1,2,3",
                               "12g",
                               "1E",
                               "1E999999999",
                               "-1E-10001",
                               QString::fromLatin1("1\xB2"),
                               QString::fromLatin1("\x80\xFF")};
    for (const auto& value : refused) {
        SCOPED_TRACE(value.toStdString());
        EXPECT_THROW(f.format(value), NumberFormatException);
    }
    EXPECT_EQ(f.format(QStringLiteral("12.345")), "12.35"); // still usable afterwards
}

TEST(NumberFormatter, LongValuesStayExactAndBounded) {
    NumberFormatter plain = NumberFormatter::fromConfig(configFor(kPlain));
    EXPECT_EQ(plain.format(QStringLiteral("1E10000")).size(), 10001);
    const QString digits(10000, u'9');
    EXPECT_EQ(plain.format(digits), digits);
    NumberFormatter half = NumberFormatter::fromConfig(configFor(rounded("0", RoundingMethod::HALF_UP)));
    EXPECT_EQ(half.format(digits + ".5"), "1" + QString(10000, u'0'));
}

TEST(NumberFormatter, DivisionByZeroIsAnArithmeticError) {
    Settings s{.decimalPlaces = "2", .operation = MathOperation::DIVIDE, .operand = "0.0"};
    NumberFormatter f = NumberFormatter::fromConfig(configFor(s));
    EXPECT_THROW(f.format(QStringLiteral("10")), ArithmeticException);
}

TEST(NumberFormatter, BadOperandIsANumberFormatError) {
    for (const char* operand : {"abc", "1,5", "1E999999999"}) {
        SCOPED_TRACE(operand);
        const Config c = configFor(Settings{.operation = MathOperation::MULTIPLY, .operand = operand});
        EXPECT_THROW(c.getMathOperandAsBigDecimal(), NumberFormatException);
        EXPECT_THROW(NumberFormatter::fromConfig(c), NumberFormatException);
    }
    Config c;
    c.setMathOperand("-2.5E1");
    EXPECT_EQ(c.getMathOperandAsBigDecimal(), Decimal(-25, 0));
}

TEST(NumberFormatter, LastNumberIsAfterTheOperation) {
    NumberFormatter f = NumberFormatter::fromConfig(
        configFor(Settings{.decimalPlaces = "0", .operation = MathOperation::MULTIPLY, .operand = "2"}));
    EXPECT_FALSE(f.getLastNumber().has_value());
    EXPECT_EQ(f.format(QStringLiteral("1.25")), "3");
    EXPECT_EQ(f.getLastNumber(), Decimal(250, 2));
}
