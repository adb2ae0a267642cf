#include "ReadingFormat.h"

#include <cmath>
#include <cstdio>

namespace {

using I = tarovex::config::ConfigHelper::Instrument;

std::string printed(const char* format, auto... args) {
    char line[96];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

} // namespace

std::string formatReading(const I& preset, double grams, bool stable) {
    const char sign = grams < 0 ? '-' : '+';
    const double size = std::fabs(grams);
    if (preset == I::AND || preset == I::AND_SIMPLE || preset == I::AND_EM)
        return printed("%s,%c%08.2f  g", stable ? "ST" : "US", sign, size);
    if (preset == I::METTLER_DIALOG)
        return printed("S %c %10.2f g", stable ? 'S' : 'D', grams);
    if (preset == I::OHAUS || preset == I::OHAUSSPU)
        return printed("%10.2f g %c", grams, stable ? ' ' : '?');
    if (preset == I::SARTORIUS)
        return printed("N     %c%10.2f %s", sign, size, stable ? "g  " : "   ");
    if (preset == I::KERN_FKB)
        return printed(" %c%10.2f %s", grams < 0 ? '-' : ' ', size, stable ? "g  " : "   ");
    if (preset == I::MITUTOYO)
        return printed("01A%c%08.4f", sign, size);
    return printed("%10.2f g", grams);
}
