#include "config/JavaRegex.h"

#include <stdexcept>

namespace tarovex::config {

// Placeholder: passes the pattern through unchanged until the translation lands.
QString JavaRegex::translate(const QString& pattern) { return pattern; }

QRegularExpression JavaRegex::compile(const QString& pattern) {
    QRegularExpression re(translate(pattern));
    if (!re.isValid())
        throw std::invalid_argument(re.errorString().toStdString());
    return re;
}

bool JavaRegex::isValid(const QString& pattern) noexcept {
    try {
        compile(pattern);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tarovex::config
