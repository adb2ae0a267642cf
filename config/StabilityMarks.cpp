#include "config/StabilityMarks.h"

#include "config/JavaRegex.h"

#include <QRegularExpression>

namespace tarovex::config {

namespace {

using I = ConfigHelper::Instrument;

bool isAnd(const I& i) {
    return i == I::AND || i == I::AND_SIMPLE || i == I::AND_EM;
}

Stability stableIf(bool stable) {
    return stable ? Stability::Stable : Stability::Unstable;
}

// A digit followed (after blanks) by a unit: the unit is printed only once the weight has
// settled.
bool endsInUnit(QStringView line) {
    static const QRegularExpression unit(QStringLiteral("[0-9]\\s*[A-Za-z%/#]+\\s*$"));
    return unit.match(line.toString()).hasMatch();
}

} // namespace

bool marksStability(const I& i) {
    return isAnd(i) || i == I::METTLER_DIALOG || i == I::OHAUS || i == I::OHAUSSPU || i == I::SARTORIUS ||
           i == I::KERN_FKB;
}

Stability stabilityOf(const I& i, QStringView line) {
    // A&D, "FX-i/FZ-i Series Instruction Manual", data format: the header ST (stable),
    // QT (stable count), US (unstable), OL (overload).
    if (isAnd(i))
        return stableIf(line.startsWith(u"ST") || line.startsWith(u"QT"));
    // Mettler Toledo, "MT-SICS Interface Commands Reference Manual": "S S" stable, "S D"
    // dynamic; error answers (ES, S I, S +, S -) give no stable weight.
    if (i == I::METTLER_DIALOG)
        return stableIf(line.startsWith(u"S S"));
    // Ohaus, print format of the "Scout Pro" and "Navigator" manuals: "?" after the unit
    // marks an unstable weight.
    if (i == I::OHAUS || i == I::OHAUSSPU)
        return stableIf(!line.contains(u'?'));
    // Sartorius, SBI data output in the operating instructions: an unstable weight is sent
    // without its unit.
    if (i == I::SARTORIUS)
        return stableIf(endsInUnit(line.trimmed()));
    // KERN, "FKB-A operating manual" (FKB_A-BA-e-1513), interface formats: a stable value is
    // sent with its unit, an unstable one with blanks in its place.
    if (i == I::KERN_FKB)
        return stableIf(endsInUnit(line.trimmed()));
    return Stability::Unmarked;
}

StabilityReader::StabilityReader(const I& instrument, const QString& stableExpression)
    : instrument_(instrument) {
    if (!stableExpression.isEmpty())
        expression_ = JavaRegex::compile(stableExpression);
}

Stability StabilityReader::operator()(QStringView line) const {
    if (expression_)
        return stableIf(expression_->match(line.toString()).hasMatch());
    return stabilityOf(instrument_, line);
}

} // namespace tarovex::config
