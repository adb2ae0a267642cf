#include "hid/ScaleReport.h"

#include <algorithm>

namespace tarovex::hid {
namespace {

// The number a field's first value stands for: itself where the field carries the usage as a
// variable (the status 1..8), the place of its usage after `base` where it is an array of the
// usages that follow `base` (0x71.. for the states).
std::optional<int> numberOf(const ReportField& f, std::span<const std::uint8_t> report, std::uint32_t base) {
    const std::optional<std::int64_t> v = f.value(report);
    if (!v)
        return std::nullopt;
    if (f.variable)
        return int(*v);
    const std::uint32_t first = f.usageMin != 0 ? f.usageMin : (f.usages.empty() ? 0 : f.usages.front());
    if (*v < f.logicalMin)
        return 0;
    return int(first + std::uint32_t(*v - f.logicalMin) - base);
}

std::optional<ReportField> inputCarrying(const ReportDescriptor& d, std::uint32_t usage,
                                         std::uint32_t alsoUpTo = 0) {
    for (const ReportField& f : d.fields)
        if (f.kind == ReportField::Kind::Input &&
            (f.carries(usage) || (alsoUpTo != 0 && f.usageMin > usage && f.usageMin <= alsoUpTo)))
            return f;
    return std::nullopt;
}

// The output report with `usage` switched on in `f`: a variable field gets 1 in the usage's
// place, an array the usage's index. Every other bit of the report is 0.
std::vector<std::uint8_t> reportSetting(const ReportDescriptor& d, const ReportField& f,
                                        std::uint32_t usage) {
    std::uint32_t bits = 0;
    for (const ReportField& g : d.fields)
        if (g.kind == ReportField::Kind::Output && g.reportId == f.reportId)
            bits = std::max(bits, g.bitOffset + g.bitSize * g.count);
    std::vector<std::uint8_t> report;
    if (f.reportId != 0)
        report.push_back(f.reportId);
    const std::size_t body = report.size();
    report.resize(body + (bits + 7) / 8);
    const auto listed = std::find(f.usages.begin(), f.usages.end(), usage);
    const std::uint32_t place =
        listed != f.usages.end() ? std::uint32_t(listed - f.usages.begin()) : usage - f.usageMin;
    const std::uint32_t index = f.variable ? std::min(place, f.count - 1) : 0;
    const std::uint64_t value = f.variable ? 1 : std::uint64_t(f.logicalMin + std::int64_t(place));
    const std::uint32_t at = f.bitOffset + index * f.bitSize;
    for (std::uint32_t b = 0; b < f.bitSize && b < 64; ++b)
        if (value >> b & 1u)
            report[body + (at + b) / 8] |= std::uint8_t(1u << ((at + b) % 8));
    return report;
}

} // namespace

QString unitSymbol(int unit) {
    static const char* const symbols[] = {"mg",  "g", "kg", "ct",  "taels", "gr",
                                          "dwt", "t", "tn", "ozt", "oz",    "lb"};
    return unit >= 1 && unit <= 12 ? QString::fromLatin1(symbols[unit - 1]) : QString();
}

QString scaledDecimal(std::int64_t weight, int exponent) {
    const bool negative = weight < 0;
    QString digits = QString::number(negative ? -weight : weight);
    if (exponent > 0) {
        if (digits != u"0")
            digits += QString(exponent, u'0');
    } else if (exponent < 0) {
        const int places = -exponent;
        if (digits.size() <= places)
            digits = QString(places - digits.size() + 1, u'0') + digits;
        digits.insert(digits.size() - places, u'.');
    }
    return negative ? u'-' + digits : digits;
}

std::variant<ScaleLayout, QString> ScaleLayout::of(const ReportDescriptor& descriptor) {
    if (!descriptor.error.empty())
        return QString::fromStdString(descriptor.error);
    const auto weight = inputCarrying(descriptor, scales::kWeight);
    if (!weight)
        return QStringLiteral("The device declares no weight (usage page 0x8D, usage 0x40): not a scale this "
                              "program understands");
    ScaleLayout l;
    l.weight_ = *weight;
    const auto sameReport = [&](std::optional<ReportField> f) {
        return f && f->reportId == l.weight_.reportId ? f : std::nullopt;
    };
    l.status_ = sameReport(inputCarrying(descriptor, scales::kStatus, scales::usage(0x78)));
    l.unit_ = sameReport(inputCarrying(descriptor, scales::kUnit, scales::usage(0x5C)));
    l.scaling_ = sameReport(inputCarrying(descriptor, scales::kScaling));
    for (const ReportField& f : descriptor.fields)
        if (f.kind == ReportField::Kind::Output && f.count > 0 && f.carries(scales::kZeroScale)) {
            l.zero_ = reportSetting(descriptor, f, scales::kZeroScale);
            break;
        }
    return l;
}

std::optional<std::variant<ScaleWeight, ScaleCondition>>
ScaleLayout::decode(std::span<const std::uint8_t> report) const {
    const std::optional<std::int64_t> raw = weight_.value(report);
    if (!raw)
        return std::nullopt;
    auto status = ScaleStatus::Stable;
    if (status_) {
        const auto n = numberOf(*status_, report, scales::kStatus);
        if (!n)
            return std::nullopt;
        if (*n < 1 || *n > 8)
            return ScaleCondition{ScaleStatus::Fault,
                                  QStringLiteral("The scale reports an unknown state %1").arg(*n)};
        status = ScaleStatus(*n);
    }
    switch (status) {
    case ScaleStatus::Fault:
        return ScaleCondition{status, QStringLiteral("The scale reports a fault")};
    case ScaleStatus::OverWeight:
        return ScaleCondition{status,
                              QStringLiteral("Over weight: the load is more than the scale can weigh")};
    case ScaleStatus::NeedsCalibration:
        return ScaleCondition{status, QStringLiteral("The scale needs calibrating")};
    case ScaleStatus::NeedsRezeroing:
        return ScaleCondition{status, QStringLiteral("The scale needs zeroing")};
    default:
        break;
    }
    int exponent = 0;
    if (scaling_) {
        const auto e = scaling_->value(report);
        if (!e)
            return std::nullopt;
        // A byte with no declared sign still carries a signed power of ten.
        exponent = scaling_->logicalMin >= 0 && scaling_->bitSize == 8 ? int(std::int8_t(*e)) : int(*e);
    }
    QString unit;
    if (unit_)
        unit = unitSymbol(numberOf(*unit_, report, scales::kUnit).value_or(0));
    std::int64_t weight = *raw;
    if (status == ScaleStatus::UnderZero && weight > 0)
        weight = -weight;
    return ScaleWeight{scaledDecimal(weight, exponent), unit, status};
}

} // namespace tarovex::hid
