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
    v = WhiteSpace::remove(v);
    if (v.isEmpty())
        return QString();
    return formatter_->format(v);
}

} // namespace tarovex::worker
