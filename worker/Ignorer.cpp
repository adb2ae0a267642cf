#include "worker/Ignorer.h"

#include "config/Config.h"
#include "config/NumberText.h"

#include <stdexcept>

namespace tarovex::worker {

using config::Decimal;
using config::ConfigHelper::InstrumentType;

namespace {

void requireLine(const DataLine* line, const char* operation) {
    if (!line)
        throw std::invalid_argument(
            QStringLiteral("Argument for @NotNull parameter '%1' of %2.%3 must not be null")
                .arg(QStringLiteral("line"), QStringLiteral("tarovex/worker/Ignorer"),
                     QLatin1String(operation))
                .toStdString());
}

Decimal differenceOf(const config::Config& config) {
    const auto instrument = config.getInstrument();
    if (instrument && instrument->getInstrumentType() == InstrumentType::TEXT)
        return Decimal();
    return Decimal::tryParse(QStringView(config.getIgnoreDifference())).value_or(Decimal());
}

} // namespace

Ignorer::Ignorer(const config::Config& config)
    : Ignorer(config::NumberText::parseInt(config.getIgnoreTimeLimit()).value_or(0), differenceOf(config)) {}

Ignorer::Ignorer(std::int64_t timeLimitMs, Decimal difference)
    : timeLimitMs_(timeLimitMs), difference_(std::move(difference)) {}

void Ignorer::process(DataLine* line) {
    requireLine(line, "process");
    if (!line->hasValue())
        return;
    DataLine arrived = line->copy();
    if (previous_ && inTime(line) && inTolerance(line))
        line->deleteProcessedData();
    previous_ = std::move(arrived);
}

bool Ignorer::inTime(const DataLine* line) const {
    requireLine(line, "inTime");
    if (timeLimitMs_ == 0)
        return true;
    if (!previous_)
        return false;
    const auto elapsed =
        std::chrono::floor<std::chrono::milliseconds>(line->getInstant() - previous_->getInstant());
    return elapsed.count() <= timeLimitMs_;
}

bool Ignorer::inTolerance(const DataLine* line) const {
    requireLine(line, "inTolerance");
    if (!previous_)
        return false;
    if (difference_.isZero())
        return line->getProcessedData() == previous_->getProcessedData();
    const auto current = Decimal::tryParse(QStringView(line->getProcessedData()), true);
    const auto previous = Decimal::tryParse(QStringView(previous_->getProcessedData()), true);
    if (!current || !previous)
        return false;
    return current->subtract(*previous).abs().compareTo(difference_) <= 0;
}

} // namespace tarovex::worker
