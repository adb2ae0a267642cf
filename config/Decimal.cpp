#include "config/Decimal.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <type_traits>

namespace tarovex::config {
namespace {

using Int128 = __int128;

constexpr std::int64_t kSmallMax = std::numeric_limits<std::int64_t>::max();

constexpr std::uint64_t kPow10[] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
};
constexpr int kMaxSmallPow10 = 18;

bool fitsSmall(Int128 v) {
    return v >= -Int128(kSmallMax) && v <= Int128(kSmallMax);
}

std::int32_t checkScale(std::int64_t scale) {
    if (scale > INT32_MAX)
        throw ArithmeticException("Underflow");
    if (scale < INT32_MIN)
        throw ArithmeticException("Overflow");
    return static_cast<std::int32_t>(scale);
}

mpz_class pow10(std::int64_t k) {
    if (k > Decimal::kMaxScaleShift)
        throw ArithmeticException("Result too large");
    mpz_class p;
    mpz_ui_pow_ui(p.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return p;
}

int digitCount(std::uint64_t v) {
    int n = 1;
    while (n <= kMaxSmallPow10 && v >= kPow10[n])
        ++n;
    return n;
}

std::int64_t digitCount(const mpz_class& v) {
    if (v == 0)
        return 1;
    // sizeinbase is exact or one too large.
    const auto n = static_cast<std::int64_t>(mpz_sizeinbase(v.get_mpz_t(), 10));
    mpz_class bound;
    mpz_ui_pow_ui(bound.get_mpz_t(), 10, static_cast<unsigned long>(n - 1));
    return mpz_cmpabs(v.get_mpz_t(), bound.get_mpz_t()) < 0 ? n - 1 : n;
}

// Whether a truncated quotient moves one step away from zero. `sign` is the sign of the
// exact quotient, `half` compares twice the remainder with the divisor (both absolute),
// `odd` tells whether the truncated quotient is odd; the remainder is non-zero.
bool roundsAway(RoundingMode mode, int sign, int half, bool odd) {
    switch (mode) {
    case RoundingMode::UP:
        return true;
    case RoundingMode::DOWN:
        return false;
    case RoundingMode::CEILING:
        return sign > 0;
    case RoundingMode::FLOOR:
        return sign < 0;
    case RoundingMode::HALF_UP:
        return half >= 0;
    case RoundingMode::HALF_DOWN:
        return half > 0;
    case RoundingMode::HALF_EVEN:
        return half > 0 || (half == 0 && odd);
    }
    return false;
}

// n ÷ d rounded to an integer; d != 0. Both operands well inside the 128-bit range.
Int128 roundedDivide(Int128 n, Int128 d, RoundingMode mode) {
    Int128 q = n / d;
    const Int128 r = n % d;
    if (r == 0)
        return q;
    const int sign = ((n < 0) != (d < 0)) ? -1 : 1;
    const unsigned __int128 ar = r < 0 ? -static_cast<unsigned __int128>(r) : r;
    const unsigned __int128 ad = d < 0 ? -static_cast<unsigned __int128>(d) : d;
    const unsigned __int128 rest = ad - ar;
    const int half = ar > rest ? 1 : (ar == rest ? 0 : -1);
    if (roundsAway(mode, sign, half, (q & 1) != 0))
        q += sign;
    return q;
}

mpz_class roundedDivide(const mpz_class& n, const mpz_class& d, RoundingMode mode) {
    mpz_class q, r;
    mpz_tdiv_qr(q.get_mpz_t(), r.get_mpz_t(), n.get_mpz_t(), d.get_mpz_t());
    if (r == 0)
        return q;
    const int sign = sgn(n) * sgn(d);
    mpz_class twice;
    mpz_mul_2exp(twice.get_mpz_t(), r.get_mpz_t(), 1);
    int half = mpz_cmpabs(twice.get_mpz_t(), d.get_mpz_t());
    half = half > 0 ? 1 : (half < 0 ? -1 : 0);
    if (roundsAway(mode, sign, half, mpz_odd_p(q.get_mpz_t()) != 0))
        q += sign;
    return q;
}

// The rounded quotient when |n| is below a tenth of |d|, so that it truncates to zero
// and the remainder is less than half: 0, or one unit for the modes that round away.
std::int64_t roundedTiny(int sign, RoundingMode mode) {
    return roundsAway(mode, sign, -1, false) ? sign : 0;
}

enum class ParseStatus { Ok, Invalid, ExponentRange, TooLong };

template <typename Ch>
ParseStatus parseDigits(const Ch* p, std::size_t n, bool commaIsPoint, bool& negative, std::int64_t& small,
                        bool& overflow, std::string* bigDigits, std::int64_t& scale) {
    std::size_t i = 0;
    negative = false;
    if (i < n && (p[i] == Ch('+') || p[i] == Ch('-'))) {
        negative = p[i] == Ch('-');
        ++i;
    }
    std::uint64_t acc = 0;
    overflow = false;
    std::int64_t digits = 0;
    std::int64_t fractionDigits = 0;
    bool point = false;
    for (; i < n; ++i) {
        const Ch c = p[i];
        if (c >= Ch('0') && c <= Ch('9')) {
            const unsigned d = unsigned(c) - '0';
            ++digits;
            if (point)
                ++fractionDigits;
            if (bigDigits)
                bigDigits->push_back(char('0' + d));
            else if (!overflow) {
                if (acc > (std::uint64_t(kSmallMax) - d) / 10)
                    overflow = true;
                else
                    acc = acc * 10 + d;
            }
        } else if (c == Ch('.') || (commaIsPoint && c == Ch(','))) {
            if (point)
                return ParseStatus::Invalid;
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return ParseStatus::Invalid;
    std::int64_t exponent = 0;
    bool exponentTooLarge = false;
    if (i < n) {
        if (p[i] != Ch('e') && p[i] != Ch('E'))
            return ParseStatus::Invalid;
        ++i;
        bool exponentNegative = false;
        if (i < n && (p[i] == Ch('+') || p[i] == Ch('-'))) {
            exponentNegative = p[i] == Ch('-');
            ++i;
        }
        if (i == n)
            return ParseStatus::Invalid;
        for (; i < n; ++i) {
            const Ch c = p[i];
            if (c < Ch('0') || c > Ch('9'))
                return ParseStatus::Invalid;
            if (!exponentTooLarge) {
                exponent = exponent * 10 + (unsigned(c) - '0');
                if (exponent > Decimal::kMaxExponent)
                    exponentTooLarge = true;
            }
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    if (exponentTooLarge)
        return ParseStatus::ExponentRange;
    if (digits > Decimal::kMaxDigits)
        return ParseStatus::TooLong;
    small = static_cast<std::int64_t>(acc);
    scale = fractionDigits - exponent;
    return ParseStatus::Ok;
}

template <typename Ch>
ParseStatus parseText(const Ch* p, std::size_t n, bool commaIsPoint, std::int64_t& small,
                      std::optional<mpz_class>& big, std::int64_t& scale) {
    bool negative = false;
    bool overflow = false;
    ParseStatus status = parseDigits(p, n, commaIsPoint, negative, small, overflow, nullptr, scale);
    if (status != ParseStatus::Ok)
        return status;
    if (!overflow) {
        if (negative)
            small = -small;
        return status;
    }
    // Too long for 64 bits: read the digits again, into GMP.
    std::string digits;
    digits.reserve(n);
    status = parseDigits(p, n, commaIsPoint, negative, small, overflow, &digits, scale);
    small = 0;
    big.emplace();
    mpz_set_str(big->get_mpz_t(), digits.c_str(), 10);
    if (negative)
        *big = -*big;
    return status;
}

// A short, printable quotation of a refused text for the error message.
template <typename Ch> std::string quoted(const Ch* p, std::size_t n) {
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < n && i < kShown; ++i) {
        const auto c = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Ch>>(p[i]));
        if (c >= 0x20 && c <= 0x7E)
            out.push_back(char(c));
        else
            out += "<" + std::to_string(c) + ">";
    }
    if (n > kShown)
        out += "...";
    out += "\"";
    return out;
}

template <typename Ch> std::string parseErrorText(ParseStatus status, const Ch* p, std::size_t n) {
    switch (status) {
    case ParseStatus::ExponentRange:
        return "Exponent out of range (at most " + std::to_string(Decimal::kMaxExponent) +
               "): " + quoted(p, n);
    case ParseStatus::TooLong:
        return "Too many digits (at most " + std::to_string(Decimal::kMaxDigits) + "): " + quoted(p, n);
    default:
        return "Not a decimal number: " + quoted(p, n);
    }
}

} // namespace

Decimal::Decimal(std::int64_t unscaled, std::int32_t scale) : small_(unscaled), scale_(scale) {
    if (unscaled == std::numeric_limits<std::int64_t>::min()) {
        small_ = 0;
        big_.emplace(mpz_class(static_cast<long>(unscaled)));
    }
}

Decimal::Decimal(const mpz_class& unscaled, std::int32_t scale) : scale_(scale) {
    if (mpz_fits_slong_p(unscaled.get_mpz_t()) && unscaled != LONG_MIN)
        small_ = unscaled.get_si();
    else
        big_.emplace(unscaled);
}

Decimal Decimal::fromMpz(mpz_class value, std::int32_t scale) {
    Decimal d;
    d.scale_ = scale;
    if (mpz_fits_slong_p(value.get_mpz_t()) && value != LONG_MIN)
        d.small_ = value.get_si();
    else
        d.big_.emplace(std::move(value));
    return d;
}

mpz_class Decimal::toMpz() const {
    return big_ ? *big_ : mpz_class(static_cast<long>(small_));
}

Decimal Decimal::parse(std::string_view text, bool commaIsPoint) {
    Decimal d;
    std::int64_t scale = 0;
    const ParseStatus status = parseText(text.data(), text.size(), commaIsPoint, d.small_, d.big_, scale);
    if (status != ParseStatus::Ok)
        throw NumberFormatException(parseErrorText(status, text.data(), text.size()));
    d.scale_ = static_cast<std::int32_t>(scale); // bounded by kMaxDigits and kMaxExponent
    return d;
}

Decimal Decimal::parse(QStringView text, bool commaIsPoint) {
    Decimal d;
    std::int64_t scale = 0;
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    const auto n = static_cast<std::size_t>(text.size());
    const ParseStatus status = parseText(p, n, commaIsPoint, d.small_, d.big_, scale);
    if (status != ParseStatus::Ok)
        throw NumberFormatException(parseErrorText(status, p, n));
    d.scale_ = static_cast<std::int32_t>(scale);
    return d;
}

std::optional<Decimal> Decimal::tryParse(std::string_view text, bool commaIsPoint) noexcept {
    Decimal d;
    std::int64_t scale = 0;
    if (parseText(text.data(), text.size(), commaIsPoint, d.small_, d.big_, scale) != ParseStatus::Ok)
        return std::nullopt;
    d.scale_ = static_cast<std::int32_t>(scale);
    return d;
}

std::optional<Decimal> Decimal::tryParse(QStringView text, bool commaIsPoint) noexcept {
    Decimal d;
    std::int64_t scale = 0;
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    if (parseText(p, std::size_t(text.size()), commaIsPoint, d.small_, d.big_, scale) != ParseStatus::Ok)
        return std::nullopt;
    d.scale_ = static_cast<std::int32_t>(scale);
    return d;
}

int Decimal::signum() const noexcept {
    if (big_)
        return sgn(*big_);
    return small_ > 0 ? 1 : (small_ < 0 ? -1 : 0);
}

std::int32_t Decimal::precision() const {
    if (big_)
        return static_cast<std::int32_t>(digitCount(*big_));
    const std::uint64_t a = small_ < 0 ? std::uint64_t(-small_) : std::uint64_t(small_);
    return digitCount(a);
}

mpz_class Decimal::unscaledValue() const {
    return toMpz();
}

Decimal Decimal::abs() const {
    return signum() < 0 ? negate() : *this;
}

Decimal Decimal::negate() const {
    if (big_)
        return fromMpz(-*big_, scale_);
    Decimal d = *this;
    d.small_ = -small_;
    return d;
}

Decimal Decimal::add(const Decimal& other) const {
    const Decimal* a = this;
    const Decimal* b = &other;
    if (a->scale_ > b->scale_)
        std::swap(a, b);
    // a has the smaller scale; it is brought to b's.
    const std::int64_t shift = std::int64_t(b->scale_) - a->scale_;
    if (a->isSmall() && b->isSmall() && shift <= kMaxSmallPow10) {
        const Int128 sum = Int128(a->small_) * Int128(kPow10[shift]) + b->small_;
        if (fitsSmall(sum))
            return Decimal(static_cast<std::int64_t>(sum), b->scale_);
    }
    mpz_class sum = a->toMpz() * pow10(shift) + b->toMpz();
    return fromMpz(std::move(sum), b->scale_);
}

Decimal Decimal::subtract(const Decimal& other) const {
    return add(other.negate());
}

Decimal Decimal::multiply(const Decimal& other) const {
    const std::int32_t scale = checkScale(std::int64_t(scale_) + other.scale_);
    if (isSmall() && other.isSmall()) {
        std::int64_t product = 0;
        if (!__builtin_mul_overflow(small_, other.small_, &product) &&
            product != std::numeric_limits<std::int64_t>::min())
            return Decimal(product, scale);
    }
    return fromMpz(toMpz() * other.toMpz(), scale);
}

Decimal Decimal::divide(const Decimal& divisor, std::int32_t scale, RoundingMode mode) const {
    if (divisor.isZero())
        throw ArithmeticException(isZero() ? "Division undefined" : "Division by zero");
    // this / divisor = (u1 / u2) × 10^(s2 - s1); its unscaled value at `scale` is
    // u1 × 10^e / u2 with e = scale - s1 + s2.
    const std::int64_t e = std::int64_t(scale) - scale_ + divisor.scale_;
    if (isZero())
        return Decimal(std::int64_t(0), scale);
    if (isSmall() && divisor.isSmall() && e >= -kMaxSmallPow10 && e <= kMaxSmallPow10) {
        Int128 n = small_;
        Int128 d = divisor.small_;
        if (e >= 0)
            n *= kPow10[e];
        else
            d *= kPow10[-e];
        const Int128 q = roundedDivide(n, d, mode);
        if (fitsSmall(q))
            return Decimal(static_cast<std::int64_t>(q), scale);
    }
    if (e < 0 && -e > precision()) {
        // |u1| < 10^precision <= |u2 × 10^-e| / 10.
        return Decimal(roundedTiny(signum() * divisor.signum(), mode), scale);
    }
    mpz_class n = toMpz();
    mpz_class d = divisor.toMpz();
    if (e >= 0)
        n *= pow10(e);
    else
        d *= pow10(-e);
    return fromMpz(roundedDivide(n, d, mode), scale);
}

Decimal Decimal::setScale(std::int32_t newScale, RoundingMode mode) const {
    if (newScale == scale_)
        return *this;
    if (newScale > scale_) {
        const std::int64_t shift = std::int64_t(newScale) - scale_;
        if (isSmall() && shift <= kMaxSmallPow10) {
            const Int128 v = Int128(small_) * Int128(kPow10[shift]);
            if (fitsSmall(v))
                return Decimal(static_cast<std::int64_t>(v), newScale);
        }
        if (isZero())
            return Decimal(std::int64_t(0), newScale);
        return fromMpz(toMpz() * pow10(shift), newScale);
    }
    const std::int64_t shift = std::int64_t(scale_) - newScale;
    if (isSmall() && shift <= kMaxSmallPow10) {
        const Int128 q = roundedDivide(Int128(small_), Int128(kPow10[shift]), mode);
        return Decimal(static_cast<std::int64_t>(q), newScale);
    }
    if (isZero())
        return Decimal(std::int64_t(0), newScale);
    if (shift > precision())
        return Decimal(roundedTiny(signum(), mode), newScale);
    return fromMpz(roundedDivide(toMpz(), pow10(shift), mode), newScale);
}

int Decimal::compareTo(const Decimal& other) const {
    const int sa = signum();
    const int sb = other.signum();
    if (sa != sb)
        return sa < sb ? -1 : 1;
    if (sa == 0)
        return 0;
    if (isSmall() && other.isSmall() && scale_ == other.scale_)
        return small_ < other.small_ ? -1 : (small_ > other.small_ ? 1 : 0);
    // Same sign: when the integer digit counts differ, no alignment is needed; this also
    // keeps 1E-9000 against 1E9000 from building numbers of 18000 digits.
    const std::int64_t ia = std::int64_t(precision()) - scale_;
    const std::int64_t ib = std::int64_t(other.precision()) - other.scale_;
    if (ia != ib)
        return (ia < ib ? -1 : 1) * sa;
    return subtract(other).signum();
}

void Decimal::appendPlainString(std::string& out, char separator) const {
    char buffer[24];
    std::string bigDigits;
    const char* digits = nullptr;
    std::size_t length = 0;
    const int sign = signum();
    if (big_) {
        mpz_class a = ::abs(*big_);
        bigDigits = a.get_str(10);
        digits = bigDigits.data();
        length = bigDigits.size();
    } else {
        std::uint64_t a = small_ < 0 ? std::uint64_t(-small_) : std::uint64_t(small_);
        char* end = buffer + sizeof buffer;
        char* p = end;
        do {
            *--p = char('0' + a % 10);
            a /= 10;
        } while (a != 0);
        digits = p;
        length = std::size_t(end - p);
    }
    if (sign < 0)
        out.push_back('-');
    if (scale_ <= 0) {
        out.append(digits, length);
        if (sign != 0)
            out.append(std::size_t(-std::int64_t(scale_)), '0');
        return;
    }
    const auto scale = std::size_t(scale_);
    if (length > scale) {
        out.append(digits, length - scale);
        out.push_back(separator);
        out.append(digits + (length - scale), scale);
    } else {
        out.push_back('0');
        out.push_back(separator);
        out.append(scale - length, '0');
        out.append(digits, length);
    }
}

std::string Decimal::toPlainString(char separator) const {
    std::string out;
    appendPlainString(out, separator);
    return out;
}

bool operator==(const Decimal& a, const Decimal& b) {
    if (a.scale_ != b.scale_ || a.isSmall() != b.isSmall())
        return false;
    return a.isSmall() ? a.small_ == b.small_ : *a.big_ == *b.big_;
}

} // namespace tarovex::config
