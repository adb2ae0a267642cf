#pragma once

#include "hid/ScaleReport.h"

#include <string>

namespace tarovex::hid {

// A scale's input reports as the text lines a serial instrument would send, one per change:
//   "ST,+7.85 lb"  a settled weight (also at zero and under zero)
//   "US,+7.85 lb"  a weight in motion
//   "ER,Over weight: ..."  a state that carries no weight, with no digit in it
// each ended by CR, the generic preset's line end. Sign, exact value and unit, so the generic
// preset's value and unit expressions read them as they are, and "ST," is the stable expression.
class ScaleLines {
public:
    // `everyReport`: a repeat of the last line is a line too.
    explicit ScaleLines(ScaleLayout layout, bool everyReport = false)
        : layout_(std::move(layout)), everyReport_(everyReport) {}

    // The line of `report`, or empty: for a repeat of the last line (a scale sends its state
    // continuously) unless every report is wanted, a report of another ID, and the first report after
    // opening, which may be one the device held from before (the next one follows within a fraction of a
    // second).
    std::string take(std::span<const std::uint8_t> report);

private:
    ScaleLayout layout_;
    bool everyReport_;
    bool first_ = true;
    std::string last_;
};

// The line of one decoded report, without its end.
QString lineOf(const std::variant<ScaleWeight, ScaleCondition>& decoded);

} // namespace tarovex::hid
