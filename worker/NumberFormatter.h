#pragma once

#include "config/ConfigHelper.h"
#include "config/Decimal.h"
#include "config/RoundingMode.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <string>

namespace tarovex::config {
class Config;
}

namespace tarovex::worker {

// Turns an extracted value into the text that is typed: reads it as an exact decimal
// number (',' or '.' as point), optionally multiplies or divides it by a fixed operand,
// optionally rounds it to a number of decimal places, and writes it with the configured
// decimal separator. Rounding only ever drops digits, never pads; without rounding the
// value keeps its own number of decimals. No plus sign and no negative zero are written.
// Built once per run; used from one thread.
class NumberFormatter {
public:
    // The decimal separator and both enabling flags come from `config`. Decimal places and
    // rounding mode count only while rounding is enabled, operation and operand only while
    // the math operation is enabled; a division also needs the decimal places.
    NumberFormatter(const config::Config& config, std::optional<int> decimalPlaces,
                    std::optional<config::RoundingMode> roundingMode,
                    std::optional<config::ConfigHelper::MathOperation> mathOperation,
                    std::optional<config::Decimal> mathOperand);

    // The formatter of a run: decimal places and rounding mode when rounding is enabled,
    // operation and operand when the math operation is enabled. Throws
    // config::NumberFormatException when the operand is not a decimal number.
    static NumberFormatter fromConfig(const config::Config& config);

    // The processed value. Throws config::NumberFormatException when the value is not a
    // decimal number (or its exponent is beyond ±Decimal::kMaxExponent) and
    // config::ArithmeticException on a division by zero.
    QString format(QStringView value);
    QString format(const QString& value) { return format(QStringView(value)); }

    // The number of the latest call, after the math operation; none before the first call.
    const std::optional<config::Decimal>& getLastNumber() const { return lastNumber_; }

    char decimalSeparator() const { return separator_; }
    bool isRoundingEnabled() const { return roundingEnabled_; }
    bool isMathEnabled() const { return mathEnabled_; }

private:
    std::optional<int> decimalPlaces_;
    config::RoundingMode roundingMode_ = config::RoundingMode::HALF_UP;
    config::ConfigHelper::MathOperation mathOperation_ = config::ConfigHelper::MathOperation::NONE;
    config::Decimal mathOperand_;
    char separator_ = '.';
    bool roundingEnabled_ = false;
    bool mathEnabled_ = false;
    std::optional<config::Decimal> lastNumber_;
    std::string buffer_; // reused by every call
};

} // namespace tarovex::worker
