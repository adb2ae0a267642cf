#include "worker/Ignorer.h"

#include "config/Config.h"

#include <gtest/gtest.h>

using tarovex::config::Config;
using tarovex::config::Decimal;
using tarovex::config::ConfigHelper::Instrument;
using tarovex::reading::DataLine;
using tarovex::worker::Ignorer;

namespace {

DataLine line(const QString& value, std::int64_t ms = 0) {
    static std::int32_t count = 0;
    return DataLine("raw\r", value, ++count, DataLine::Instant(std::chrono::milliseconds(ms)), false);
}

// Passes the values (with their arrival times) through the filter; returns what is left.
QStringList filtered(Ignorer& ignorer, const std::vector<std::pair<QString, std::int64_t>>& values) {
    QStringList out;
    for (const auto& [value, ms] : values) {
        DataLine l = line(value, ms);
        ignorer.process(l);
        out << l.getProcessedData();
    }
    return out;
}

Config settings(const QString& timeLimit, const QString& difference) {
    Config c;
    c.setIgnoreTimeLimit(timeLimit);
    c.setIgnoreDifference(difference);
    return c;
}

} // namespace

TEST(Ignorer, EqualValuesRepeatWithoutLimits) {
    Ignorer a(settings("", ""));
    EXPECT_EQ(filtered(a, {{"12.5", 0}, {"12.5", 10}, {"12.5", 99999}}), QStringList({"12.5", "", ""}));
    Ignorer b(settings("", ""));
    EXPECT_EQ(filtered(b, {{"12.5", 0}, {"12.6", 1}, {"12.5", 2}}), QStringList({"12.5", "12.6", "12.5"}));
    // Text comparison: same number, different text.
    Ignorer c(settings("", ""));
    EXPECT_EQ(filtered(c, {{"12.5", 0}, {"12.50", 1}}), QStringList({"12.5", "12.50"}));
}

TEST(Ignorer, TimeLimitInWholeMilliseconds) {
    Ignorer a(settings("1000", ""));
    EXPECT_EQ(filtered(a, {{"5", 0}, {"5", 1200}}), QStringList({"5", "5"}));
    Ignorer b(settings("1000", ""));
    EXPECT_EQ(filtered(b, {{"5", 0}, {"5", 800}, {"5", 1800}, {"5", 2801}}), QStringList({"5", "", "", "5"}));
    // Compared with the previous arrival, ignored or not.
    EXPECT_EQ(a.timeLimit(), 1000);
    EXPECT_EQ(Ignorer(settings("abc", "")).timeLimit(), 0);
}

TEST(Ignorer, ToleranceComparesAsDecimals) {
    Ignorer a(settings("", "0.05"));
    EXPECT_EQ(filtered(a, {{"12.50", 0}, {"12.54", 1}}), QStringList({"12.50", ""}));
    Ignorer b(settings("", "0.05"));
    EXPECT_EQ(filtered(b, {{"12.50", 0}, {"12.56", 1}}), QStringList({"12.50", "12.56"}));
    Ignorer c(settings("", "0.05"));
    EXPECT_EQ(filtered(c, {{"12,50", 0}, {"12.53", 1}, {"12,58", 2}}), QStringList({"12,50", "", ""}));
    // Exactly at the tolerance is within it; negative differences count by their size.
    Ignorer d(settings("", "0.05"));
    EXPECT_EQ(filtered(d, {{"-1.00", 0}, {"-1.05", 1}, {"-0.99", 2}}), QStringList({"-1.00", "", "-0.99"}));
    // A value that is not a decimal is not within tolerance.
    Ignorer e(settings("", "0.05"));
    EXPECT_EQ(filtered(e, {{"abc", 0}, {"abc", 1}}), QStringList({"abc", "abc"}));
    // An unreadable setting means no tolerance: texts are compared.
    EXPECT_TRUE(Ignorer(settings("", "x")).difference().isZero());
    EXPECT_TRUE(Ignorer(settings("", "1E999999999")).difference().isZero());
}

TEST(Ignorer, LineWithoutValueDoesNotBreakTheRepetition) {
    Ignorer a(settings("", ""));
    EXPECT_EQ(filtered(a, {{"12.5", 0}, {"", 1}, {"12.5", 2}}), QStringList({"12.5", "", ""}));
    ASSERT_TRUE(a.previousLine().has_value());
    EXPECT_EQ(a.previousLine()->getProcessedData(), "12.5"); // the copy as it arrived
}

TEST(Ignorer, TextInstrumentsCompareTexts) {
    Config c = settings("", "5");
    c.setInstrument(Instrument::BARCODE);
    Ignorer a(c);
    EXPECT_TRUE(a.difference().isZero());
    EXPECT_EQ(filtered(a, {{"4006381333931", 0}, {"4006381333931", 1}, {"4006381333932", 2}}),
              QStringList({"4006381333931", "", "4006381333932"}));
    c.setInstrument(Instrument::GENERIC);
    EXPECT_EQ(Ignorer(c).difference(), Decimal(5));
}

TEST(Ignorer, WithoutPreviousLineNothingIsRepeated) {
    Ignorer a(1000, Decimal(1));
    const DataLine l = line("1", 0);
    EXPECT_FALSE(a.inTime(&l));
    EXPECT_FALSE(a.inTolerance(&l));
    EXPECT_TRUE(Ignorer(0, Decimal()).inTime(&l));
}

TEST(Ignorer, RefusesAnAbsentLine) {
    Ignorer a(0, Decimal());
    const auto message = [](auto f) {
        try {
            f();
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { a.process(nullptr); }),
              "Argument for @NotNull parameter 'line' of tarovex/worker/Ignorer.process must not be null");
    EXPECT_EQ(
        message([&] { a.inTolerance(nullptr); }),
        "Argument for @NotNull parameter 'line' of tarovex/worker/Ignorer.inTolerance must not be null");
    EXPECT_EQ(message([&] { a.inTime(nullptr); }),
              "Argument for @NotNull parameter 'line' of tarovex/worker/Ignorer.inTime must not be null");
}
