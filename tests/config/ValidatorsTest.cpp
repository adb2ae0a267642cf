#include "config/ConfigHelper.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarovex::config::ConfigHelper;

namespace {

struct Row {
    const char* text;
    bool valid;
};

void check(const char* holder, const std::function<bool(const QString&)>& isValid,
           std::initializer_list<Row> rows) {
    for (const Row& row : rows)
        EXPECT_EQ(isValid(QString::fromUtf8(row.text)), row.valid) << holder << " \"" << row.text << '"';
}

} // namespace

TEST(Validators, DefaultsAndEmptyText) {
    EXPECT_EQ(Delay::getDefault(), "20");
    for (const QString& d :
         {MathOperand::getDefault(), DecimalPlaces::getDefault(), EveryXValues::getDefault(),
          EditNumCharacters::getDefault(), RemoveCharacters::getDefault(), IgnoreTimeLimit::getDefault(),
          IgnoreDifference::getDefault(), CustomRegEx::getDefault()})
        EXPECT_EQ(d, QString());
    // The empty text means "not used" everywhere.
    for (bool valid : {MathOperand::isValid(""), DecimalPlaces::isValid(""), EveryXValues::isValid(""),
                       EditNumCharacters::isValid(""), RemoveCharacters::isValid(""), Delay::isValid(""),
                       IgnoreTimeLimit::isValid(""), IgnoreDifference::isValid(""), CustomRegEx::isValid("")})
        EXPECT_TRUE(valid);
}

TEST(Validators, IntegerRanges) {
    check("DecimalPlaces", DecimalPlaces::isValid,
          {{"0", true},
           {"7", true},
           {"+3", true},
           {"8", false},
           {"-1", false},
           {" 2", false},
           {"2 ", false},
           {"2.0", false},
           {"x", false},
           {"+", false},
           {"-", false},
           {"\xd9\xa3", false} /* Arabic-Indic 3 */});
    check("EveryXValues", EveryXValues::isValid,
          {{"1", false}, {"2", true}, {"99", true}, {"100", false}, {"002", true}, {"-2", false}});
    check("EditNumCharacters", EditNumCharacters::isValid,
          {{"0", false}, {"1", true}, {"99", true}, {"100", false}});
    check("Delay", Delay::isValid,
          {{"0", true}, {"20", true}, {"1000", true}, {"1001", false}, {"-1", false}, {"1e2", false}});
    check("IgnoreTimeLimit", IgnoreTimeLimit::isValid,
          {{"1", true},
           {"2147483647", true},
           {"2147483648", false},
           {"99999999999999999999", false},
           {"0", false},
           {"-5", false},
           {"1.5", false}});
}

TEST(Validators, DecimalNumbers) {
    check("MathOperand", MathOperand::isValid,
          {{"2", true},
           {"-2.5", true},
           {"+0.001", true},
           {"2.", true},
           {".5", true},
           {"1E2", true},
           {"1e-3", true},
           {"1,5", false},
           {".", false},
           {"1.2.3", false},
           {"e5", false},
           {"1e", false},
           {" 2", false},
           {"1e99999999999", false},
           {"1E999999999", false}, // fits an int but not the decimal type's bound
           {"1E9999", true},
           {"abc", false},
           // Only the exact text "0" is refused; a division by another zero fails per line.
           {"0", false},
           {"0.0", true},
           {"-0", true},
           {"0e5", true}});
    check("IgnoreDifference", IgnoreDifference::isValid,
          {{"0.01", true},
           {"5", true},
           {"1e-2", true},
           {"0", false},
           {"0.000", false},
           {"1E-999999999", false},
           {"-0.5", false},
           {"0,5", false}});
}

TEST(Validators, RemoveCharactersAreLatin1) {
    check("RemoveCharacters", RemoveCharacters::isValid,
          {{"kg g lb", true},
           {"\t\r\n", true},
           {"\xc3\xbf" /* y diaeresis, 255 */, true},
           {"\xc2\xb0 \xc2\xb5", true},
           {"\xe2\x82\xac" /* euro */, false},
           {"a\xc4\x80", false},
           {"\xf0\x9f\x98\x80" /* outside the BMP */, false}});
}

TEST(Validators, CustomRegExNeedsAGroupBeforeItsEnd) {
    check("CustomRegEx", CustomRegEx::isValid,
          {{"([0-9]+)", true},
           {"N:\\s*([0-9.]+)", true},
           {"[0-9]+", false},        // no group
           {"\\([0-9]+\\)", false},  // both parentheses escaped
           {"\\(([0-9]+)\\)", true}, // escaped ones around a real group
           {"a)(b", false},          // closes before it opens: does not compile either
           {"([0-9]+", false},       // never closed
           {"[(0-9]+)", false},      // unclosed group after a class
           {"([0-9]+)[", false},     // unclosed bracket: does not compile
           {"(?:[0-9]+)", true}});   // captures nothing: each line reports it
}
