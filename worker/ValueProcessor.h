#pragma once

#include "worker/Editor.h"
#include "worker/NumberFormatter.h"
#include "worker/Remover.h"

#include <QString>

#include <optional>

namespace tarovex::config {
class Config;
}

namespace tarovex::worker {

// What happens to an extracted value before it is published: the edit (when the edit
// count is above 0), the character removal (when characters are set), then, for number
// instruments, the removal of all white space and the number formatting; an empty value
// is not formatted and stays empty. Text instruments keep white space and skip the
// formatting. Built once per run; used from the worker thread only.
class ValueProcessor {
public:
    enum class Kind { Number, Text };

    // Reads every setting once. Throws config::NumberFormatException when the math
    // operand is in use and is not a decimal number.
    explicit ValueProcessor(const config::Config& config, Kind kind = Kind::Number);

    // The processed value. Throws config::NumberFormatException or
    // config::ArithmeticException from the formatting (see NumberFormatter::format).
    QString process(const QString& value);
    // The same; without an edit or a removal it copies nothing on the way to the result.
    QString process(QStringView value);

    Kind kind() const { return kind_; }

private:
    QString formatNumber(QStringView value);

    Kind kind_;
    Editor editor_;
    Remover remover_;
    std::optional<NumberFormatter> formatter_;
    QString withoutWhiteSpace_; // reused from line to line
};

} // namespace tarovex::worker
