#pragma once

#include <QStringView>

#include <optional>

namespace tarovex::config {

// Strict readers of the numbers users type into settings fields: ASCII digits only,
// no blanks, no group separators.
namespace NumberText {

// An int32 in decimal: optional sign, then digits. None when malformed or out of range.
std::optional<int> parseInt(QStringView text) noexcept;

// The sign of a decimal number (optional sign, digits with at most one point and at least
// one digit, optional exponent 'e'/'E' with optional sign and digits fitting an int32):
// -1, 0 or +1; none when the text is not such a number.
std::optional<int> decimalSign(QStringView text) noexcept;

} // namespace NumberText
} // namespace tarovex::config
