#include "worker/ValueExtractor.h"

#include "config/JavaRegex.h"

namespace tarovex::worker {

ValueExtractor::ValueExtractor(const QString& expression, int group)
    : expression_(expression), regex_(config::JavaRegex::compile(expression)), group_(group),
      hasGroup_(group >= 0 && group <= regex_.captureCount()) {
    // JIT-compile now rather than on the first line.
    regex_.optimize();
}

std::optional<QString> ValueExtractor::extract(const QString& rawLine) const {
    const QRegularExpressionMatch m = regex_.match(rawLine);
    if (!m.hasMatch())
        return QString();
    if (!hasGroup_ || m.capturedStart(group_) < 0)
        return std::nullopt;
    return m.captured(group_);
}

} // namespace tarovex::worker
