#include "worker/NumberFormatter.h"

#include "config/Config.h"

#include <algorithm>

namespace tarovex::worker {

using config::Decimal;
using config::RoundingMode;
using config::ConfigHelper::DecimalSeparator;
using config::ConfigHelper::MathOperation;

NumberFormatter::NumberFormatter(const config::Config& config, std::optional<int> decimalPlaces,
                                 std::optional<RoundingMode> roundingMode,
                                 std::optional<MathOperation> mathOperation,
                                 std::optional<Decimal> mathOperand)
    : separator_(config.getDecimalSeparator() == DecimalSeparator::COMMA ? ',' : '.') {
    roundingEnabled_ = config.roundingEnabled() && decimalPlaces && roundingMode;
    if (roundingEnabled_) {
        decimalPlaces_ = decimalPlaces;
        roundingMode_ = *roundingMode;
    }
    // A quotient needs its number of decimal places; without them there is no division.
    mathEnabled_ = config.mathOperationEnabled() && mathOperation && mathOperand &&
                   (*mathOperation != MathOperation::DIVIDE || roundingEnabled_);
    if (mathEnabled_) {
        mathOperation_ = *mathOperation;
        mathOperand_ = *mathOperand;
    }
}

NumberFormatter NumberFormatter::fromConfig(const config::Config& config) {
    std::optional<int> places;
    std::optional<RoundingMode> mode;
    if (config.roundingEnabled()) {
        places = config.getDecimalPlacesAsInt();
        mode = config.getRoundingMethod().getRoundingMode();
    }
    std::optional<MathOperation> operation;
    std::optional<Decimal> operand;
    if (config.mathOperationEnabled()) {
        operation = config.getMathOperation();
        operand = config.getMathOperandAsBigDecimal();
    }
    return NumberFormatter(config, places, mode, operation, operand);
}

QString NumberFormatter::format(QStringView value) {
    Decimal n = Decimal::parse(value, /*commaIsPoint=*/true);
    std::int32_t s = n.scale();
    if (mathEnabled_) {
        if (mathOperation_ == MathOperation::MULTIPLY) {
            n = n.multiply(mathOperand_);
            s = n.scale();
        } else if (mathOperation_ == MathOperation::DIVIDE) {
            n = n.divide(mathOperand_, *decimalPlaces_, roundingMode_);
            s = *decimalPlaces_;
        }
    }
    lastNumber_ = n;
    if (roundingEnabled_ && s > 0 && *decimalPlaces_ < s) {
        n = n.setScale(*decimalPlaces_, roundingMode_);
    } else {
        // Exactly s fraction digits (none for a negative scale): only ever pads, exact.
        n = n.setScale(std::max<std::int32_t>(s, 0), RoundingMode::DOWN);
    }
    // The unscaled value is an integer, so a zero is written without sign: -0.00 gives 0.00.
    buffer_.clear();
    n.appendPlainString(buffer_, separator_);
    return QString::fromLatin1(buffer_.data(), qsizetype(buffer_.size()));
}

} // namespace tarovex::worker
