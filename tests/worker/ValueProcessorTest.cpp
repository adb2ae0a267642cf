#include "worker/ValueProcessor.h"

#include "config/Config.h"
#include "worker/ValueExtractor.h"

#include <gtest/gtest.h>

using tarovex::config::ArithmeticException;
using tarovex::config::Config;
using tarovex::config::NumberFormatException;
using tarovex::config::ConfigHelper::DecimalSeparator;
using tarovex::config::ConfigHelper::EditOperation;
using tarovex::config::ConfigHelper::EditPosition;
using tarovex::config::ConfigHelper::MathOperation;
using tarovex::worker::ValueExtractor;
using tarovex::worker::ValueProcessor;

namespace {

const QString kDefaultExpression = QStringLiteral(R"re(([-+]?\s*[0-9]*[\.,]?[0-9]+))re");

// Through the copying path and through the view path the worker takes; both must agree.
QString processLine(ValueProcessor& p, const char* raw) {
    const ValueExtractor extractor(kDefaultExpression, 1);
    const QString line = QString::fromLatin1(raw);
    const QString copied = p.process(extractor.extract(line).value_or(QString()));
    EXPECT_EQ(p.process(extractor.extractView(line).value_or(QStringView())), copied) << raw;
    return copied;
}

} // namespace

TEST(ValueProcessor, DefaultExpressionLines) {
    Config c;
    ValueProcessor plain(c);
    EXPECT_EQ(processLine(plain, "ST,GS,+  12.50 g\r"), "12.50");
    EXPECT_EQ(processLine(plain, "  -1.8999 kg\n"), "-1.8999");
    EXPECT_EQ(processLine(plain, "no digits\r"), "");
    EXPECT_EQ(processLine(plain, "\r"), "");
    c.setDecimalPlaces("2");
    c.setDecimalSeparator(DecimalSeparator::COMMA);
    ValueProcessor rounding(c);
    EXPECT_EQ(processLine(rounding, "  -1.8999 kg\n"), "-1,90");
    EXPECT_EQ(processLine(rounding, "+0001,255\r"), "1,26");
}

TEST(ValueProcessor, StepsRunInOrder) {
    Config c;
    c.setEditOperation(EditOperation::REMOVE);
    c.setEditPosition(EditPosition::FIRST);
    c.setEditNumCharacters("3");
    c.setRemoveCharacters("kg");
    c.setMathOperation(MathOperation::MULTIPLY);
    c.setMathOperand("2");
    ValueProcessor p(c);
    // edit "ST " off, remove k and g, then white space, then 1.25 × 2.
    EXPECT_EQ(p.process("ST + 1.25 kg"), "2.50");
    // Editing everything away leaves an empty value that is not formatted.
    EXPECT_EQ(p.process("ST"), "");
    EXPECT_THROW(p.process("ST 1.2.3"), NumberFormatException);
}

TEST(ValueProcessor, TextKeepsWhiteSpaceAndSkipsFormatting) {
    Config c;
    c.setDecimalPlaces("0");
    ValueProcessor text(c, ValueProcessor::Kind::Text);
    EXPECT_EQ(text.process("ABC-123 x"), "ABC-123 x");
    EXPECT_EQ(text.process("12.5"), "12.5");
    c.setRemoveCharacters(" ");
    EXPECT_EQ(ValueProcessor(c, ValueProcessor::Kind::Text).process("ABC-123 x"), "ABC-123x");
}

TEST(ValueProcessor, ErrorsOfTheSettingsAndTheArithmetic) {
    Config c;
    c.setMathOperation(MathOperation::MULTIPLY);
    c.setMathOperand("two");
    EXPECT_THROW(ValueProcessor{c}, NumberFormatException);
    // A text instrument does not format, so its operand is never read.
    EXPECT_NO_THROW(ValueProcessor(c, ValueProcessor::Kind::Text));
    c.setMathOperation(MathOperation::DIVIDE);
    c.setMathOperand("0.00");
    c.setDecimalPlaces("1");
    ValueProcessor p(c);
    EXPECT_THROW(p.process("5"), ArithmeticException);
    EXPECT_EQ(p.process(""), ""); // an empty value does not reach the division
}
