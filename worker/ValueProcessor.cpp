#include "worker/ValueProcessor.h"

#include "config/Config.h"
#include "worker/WhiteSpace.h"

namespace tarovex::worker {

ValueProcessor::ValueProcessor(const config::Config& config, Kind kind)
    : kind_(kind), editor_(config), remover_(config) {
    if (kind_ == Kind::Number)
        formatter_.emplace(NumberFormatter::fromConfig(config));
}

QString ValueProcessor::process(const QString& value) {
    QString v = value;
    if (editor_.numCharacters() > 0)
        v = editor_.edit(v);
    if (!remover_.isEmpty() && !v.isEmpty())
        v = remover_.remove(v);
    if (kind_ == Kind::Text)
        return v;
    return formatNumber(v);
}

QString ValueProcessor::process(QStringView value) {
    if (editor_.numCharacters() > 0 || (!remover_.isEmpty() && !value.isEmpty()) || kind_ == Kind::Text)
        return process(value.toString());
    return formatNumber(value);
}

QString ValueProcessor::formatNumber(QStringView value) {
    value = WhiteSpace::remove(value, withoutWhiteSpace_);
    if (value.isEmpty())
        return QString();
    return formatter_->format(value);
}

} // namespace tarovex::worker
