#pragma once

#include "config/Config.h"
#include "reading/DataLine.h"
#include "reading/OutputTemplate.h"
#include "worker/ValueExtractor.h"

#include <QString>

#include <optional>
#include <vector>

namespace tarovex {

// A run's output template, filled in per reading from the line and the run's settings.
// Made at Start; used on the thread that owns the run.
class OutputShaper {
public:
    // Nothing when the settings have no template. Throws std::invalid_argument with the
    // parser's message for a template that does not parse (a hand-edited store).
    static std::optional<OutputShaper> make(const config::Config& config);

    std::vector<reading::OutputStep> shape(const reading::DataLine& line) const;

private:
    OutputShaper(reading::OutputTemplate t, const config::Config& config);

    reading::OutputTemplate template_;
    std::optional<worker::ValueExtractor> groups_; // only when the template has {g1}..{g9}
    std::optional<worker::ValueExtractor> unit_;   // only when it has {unit} and the preset shows one
    QString port_;
    QString label_;
    QString station_;
    QChar terminator_;
};

} // namespace tarovex
