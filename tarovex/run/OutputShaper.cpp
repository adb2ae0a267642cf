#include "tarovex/run/OutputShaper.h"

#include <stdexcept>

namespace tarovex {
namespace {

using Field = reading::OutputTemplate::Field;

bool uses(const reading::OutputTemplate& t, Field field) {
    for (const auto& p : t.parts())
        if (p.kind == reading::OutputTemplate::Part::Kind::Field && p.field == field)
            return true;
    return false;
}

} // namespace

std::optional<OutputShaper> OutputShaper::make(const config::Config& config) {
    if (config.getOutputTemplate().isEmpty())
        return std::nullopt;
    auto parsed = reading::OutputTemplate::parse(config.getOutputTemplate());
    if (auto* e = std::get_if<reading::TemplateError>(&parsed))
        throw std::invalid_argument(e->message.toStdString());
    return OutputShaper(std::move(std::get<reading::OutputTemplate>(parsed)), config);
}

OutputShaper::OutputShaper(reading::OutputTemplate t, const config::Config& config)
    : template_(std::move(t)), port_(config.getPort()), label_(config.instrumentName()),
      station_(config.record.stationName()), terminator_(QChar(char16_t(config.getInputTerminator()))) {
    const auto instrument = config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault());
    // An expression the worker refused leaves its groups empty; the worker says why.
    if (uses(template_, Field::Group)) {
        try {
            groups_.emplace(
                worker::ValueExtractor::chooseExpression(config.getCustomRegEx(), instrument.getRegEx()), 1);
        } catch (const std::exception&) {
        }
    }
    if (const QString unit = instrument.getUnitRegEx(); !unit.isEmpty() && uses(template_, Field::Unit))
        unit_.emplace(unit, 1);
}

std::vector<reading::OutputStep> OutputShaper::shape(const reading::DataLine& line) const {
    QStringView raw = line.getRawData();
    while (!raw.isEmpty() && (raw.back() == terminator_ || raw.back() == u'\r' || raw.back() == u'\n'))
        raw.chop(1);
    reading::TemplateContext c;
    c.value = line.getProcessedData();
    c.raw = raw;
    c.port = port_;
    c.label = label_;
    c.station = station_;
    c.seq = line.getCount();
    c.time = line.getInstant();
    try {
        if (groups_)
            groups_->groups(raw, c.groups);
        if (unit_)
            c.unit = unit_->extractView(raw).value_or(QStringView());
    } catch (const std::exception&) {
        // The engine gave up on this line: its groups and unit stay empty.
    }
    return template_.render(c);
}

} // namespace tarovex
