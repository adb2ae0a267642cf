#pragma once

#include "config/Instrument.h"

#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarovex::config {

// What a data line says about the reading's stability.
enum class Stability {
    Unmarked, // the preset's lines carry no mark (or the line is none of its readings)
    Stable,
    Unstable,
};

// Whether lines of the preset mark stability at all.
bool marksStability(const ConfigHelper::Instrument& instrument);

// The mark of a line of the preset.
Stability stabilityOf(const ConfigHelper::Instrument& instrument, QStringView line);

// The marks of one run: the preset's, or with a non-empty `stableExpression` (Java syntax)
// that expression's: a line it finds something in is stable, any other unstable. Throws
// std::invalid_argument when the expression does not compile.
class StabilityReader {
public:
    StabilityReader(const ConfigHelper::Instrument& instrument, const QString& stableExpression);
    Stability operator()(QStringView line) const;
    // Whether any line can be marked.
    bool marks() const { return expression_ || marksStability(instrument_); }

private:
    ConfigHelper::Instrument instrument_;
    std::optional<QRegularExpression> expression_;
};

} // namespace tarovex::config
