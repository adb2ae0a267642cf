#pragma once

#include "config/DecimalErrors.h"
#include "config/RoundingMode.h"

#include <QString>
#include <QStringView>

#include <gmpxx.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarovex::config {

// An exact decimal number: an arbitrary-precision unscaled integer and a 32-bit scale,
// value = unscaled × 10^-scale. 12.50 is (1250, 2), 1E3 is (1, -3).
//
// Values whose unscaled part fits in 64 bits are kept without GMP, so that parsing,
// rescaling and printing of ordinary readings cost no allocation; longer ones use
// mpz_class. Immutable; every operation returns a new value. No floating point.
class Decimal {
public:
    // Largest accepted |exponent| in parsed text ("1E10000" is accepted, "1E10001" is not).
    static constexpr std::int32_t kMaxExponent = 10'000;
    // Largest accepted number of digits in parsed text.
    static constexpr std::int32_t kMaxDigits = 1'000'000;
    // Largest power of ten an operation may multiply or divide by; beyond it the
    // operation throws ArithmeticException instead of growing a number without bound.
    static constexpr std::int32_t kMaxScaleShift = 4'000'000;

    // Zero with scale 0.
    Decimal() noexcept = default;
    Decimal(std::int64_t unscaled, std::int32_t scale = 0);
    Decimal(const mpz_class& unscaled, std::int32_t scale = 0);

    // Reads an optional sign, digits with at most one point and at least one digit, and
    // an optional exponent ('e' or 'E', optional sign, digits): "12.50", "-.5", "1.",
    // "+1E-3". Nothing else, no blanks. When commaIsPoint is set, ',' counts as the point.
    // Throws NumberFormatException for other texts, for |exponent| > kMaxExponent and for
    // more than kMaxDigits digits. Time is linear in the length of the text.
    static Decimal parse(std::string_view text, bool commaIsPoint = false);
    static Decimal parse(QStringView text, bool commaIsPoint = false);
    static Decimal parse(const QString& text, bool commaIsPoint = false) {
        return parse(QStringView(text), commaIsPoint);
    }
    static Decimal parse(const char* text, bool commaIsPoint = false) {
        return parse(std::string_view(text), commaIsPoint);
    }

    // As parse(), without the exception: no value when parse() would throw.
    static std::optional<Decimal> tryParse(std::string_view text, bool commaIsPoint = false) noexcept;
    static std::optional<Decimal> tryParse(QStringView text, bool commaIsPoint = false) noexcept;

    std::int32_t scale() const noexcept { return scale_; }
    // -1, 0 or 1.
    int signum() const noexcept;
    bool isZero() const noexcept { return signum() == 0; }
    // Number of decimal digits of the unscaled value; 1 for zero.
    std::int32_t precision() const;
    mpz_class unscaledValue() const;

    Decimal abs() const;
    Decimal negate() const;
    // Exact sum and difference; the scale is the larger of both scales.
    Decimal add(const Decimal& other) const;
    Decimal subtract(const Decimal& other) const;
    // Exact product; the scale is the sum of both scales.
    Decimal multiply(const Decimal& other) const;
    // this ÷ divisor with exactly `scale` digits after the point, rounded by `mode`.
    // ArithmeticException on a zero divisor.
    Decimal divide(const Decimal& divisor, std::int32_t scale, RoundingMode mode) const;
    // The same value with the given scale, rounded by `mode` when digits are dropped.
    Decimal setScale(std::int32_t newScale, RoundingMode mode) const;

    // Numeric comparison, regardless of scale: 2.0 and 2.00 compare equal. -1, 0 or 1.
    int compareTo(const Decimal& other) const;

    // Plain rendering without exponent: "-12.50", "0.001", "1000" for 1E3 (a zero with
    // a negative scale is "0"). `separator` stands between integer and fraction digits.
    std::string toPlainString(char separator = '.') const;
    // Appends the plain rendering to `out` (the formatter's allocation-free path).
    void appendPlainString(std::string& out, char separator = '.') const;
    QString toQString(char separator = '.') const { return QString::fromLatin1(toPlainString(separator)); }

    // Same unscaled value and same scale (2.0 differs from 2.00; see compareTo).
    friend bool operator==(const Decimal& a, const Decimal& b);

private:
    bool isSmall() const noexcept { return !big_.has_value(); }
    mpz_class toMpz() const;
    static Decimal fromMpz(mpz_class value, std::int32_t scale);

    // Invariant: big_ is set exactly when the unscaled value does not fit in
    // [-(2^63 - 1), 2^63 - 1]; then small_ is 0.
    std::int64_t small_ = 0;
    std::int32_t scale_ = 0;
    std::optional<mpz_class> big_;
};

} // namespace tarovex::config
