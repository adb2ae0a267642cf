#pragma once

#include "config/Decimal.h"
#include "reading/DataLine.h"

#include <cstdint>
#include <optional>

namespace tarovex::config {
class Config;
}

namespace tarovex::worker {

// The worker hands on the reading's own line.
using reading::DataLine;

// The repeat filter: suppresses a value that arrives within a time limit after the
// previous valued line and lies within a tolerance of it. Each value is compared with the
// one that arrived just before it, typed or not. One per run; UI thread only.
class Ignorer {
public:
    // From `ignoreTimeLimit` (0 when not an integer) and `ignoreDifference` (0 when not a
    // decimal number, and always 0 for TEXT instruments, which compare texts).
    explicit Ignorer(const config::Config& config);
    // A time limit in milliseconds (0: none) and a tolerance (0: texts must be equal).
    Ignorer(std::int64_t timeLimitMs, config::Decimal difference);

    // Empties the line's value (deleteProcessedData) when it repeats the previous valued
    // line; a line without value changes nothing. Throws std::invalid_argument for a null
    // line.
    void process(DataLine* line);
    void process(DataLine& line) { process(&line); }

    // True when there is no time limit, or the line arrived at most the limit (in whole
    // milliseconds) after the previous line. False without a previous line (unless there
    // is no limit). Throws std::invalid_argument for a null line.
    bool inTime(const DataLine* line) const;
    // With a zero tolerance: the values are equal texts. Otherwise both values read as
    // decimals (',' or '.' as point) differ by at most the tolerance; a value that does
    // not read as a decimal is not within tolerance. False without a previous line.
    // Throws std::invalid_argument for a null line.
    bool inTolerance(const DataLine* line) const;

    std::int64_t timeLimit() const { return timeLimitMs_; }
    const config::Decimal& difference() const { return difference_; }
    const std::optional<DataLine>& previousLine() const { return previous_; }

private:
    std::int64_t timeLimitMs_;
    config::Decimal difference_;
    std::optional<DataLine> previous_;
};

} // namespace tarovex::worker
