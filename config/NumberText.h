#pragma once

#include <QStringView>

#include <optional>

namespace tarovex::config {

// Strict readers of the numbers users type into settings fields: ASCII digits only,
// no blanks, no group separators.
namespace NumberText {

// An int32 in decimal: optional sign, then digits. None when malformed or out of range.
std::optional<int> parseInt(QStringView text) noexcept;


} // namespace NumberText
} // namespace tarovex::config
