#pragma once

#include <stdexcept>
#include <string>

namespace tarovex::config {

// A text that is not a decimal number, or one whose exponent or length lies beyond
// what the decimal type accepts.
class NumberFormatException : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Exact arithmetic that has no result: division by zero, a scale that leaves the
// 32-bit range, or a result too long to be a reading.
class ArithmeticException : public std::domain_error {
public:
    using std::domain_error::domain_error;
};

} // namespace tarovex::config
