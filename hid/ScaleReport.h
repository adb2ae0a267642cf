#pragma once

#include "hid/ReportDescriptor.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace tarovex::hid {

// The scale usages of the HID point-of-sale tables (usage page 0x8D).
namespace scales {
constexpr std::uint32_t usage(std::uint32_t id) {
    return 0x8D0000u | id;
}
constexpr std::uint32_t kDevice = usage(0x20);
constexpr std::uint32_t kDataReport = usage(0x32);
constexpr std::uint32_t kWeight = usage(0x40);
constexpr std::uint32_t kScaling = usage(0x41);
constexpr std::uint32_t kUnit = usage(0x50);   // units follow: 0x51 mg .. 0x5C lb
constexpr std::uint32_t kStatus = usage(0x70); // states follow: 0x71 fault .. 0x78 needs re-zeroing
constexpr std::uint32_t kZeroScale = usage(0x80); // a control: the scale takes its load as zero
} // namespace scales

// What a scale's status says.
enum class ScaleStatus : std::uint8_t {
    Fault = 1,
    StableAtZero = 2,
    InMotion = 3,
    Stable = 4,
    UnderZero = 5,
    OverWeight = 6,
    NeedsCalibration = 7,
    NeedsRezeroing = 8,
};

// One weight: the exact decimal value with its sign, its unit ("kg", "oz"; empty when the
// scale names none) and whether it had settled.
struct ScaleWeight {
    QString value;
    QString unit;
    ScaleStatus status = ScaleStatus::Stable;
    bool stable() const {
        return status == ScaleStatus::Stable || status == ScaleStatus::StableAtZero ||
               status == ScaleStatus::UnderZero;
    }
    friend bool operator==(const ScaleWeight&, const ScaleWeight&) = default;
};

// A report that carries no weight: a state to show, never a value ("Over weight").
struct ScaleCondition {
    ScaleStatus status;
    QString text;
    friend bool operator==(const ScaleCondition&, const ScaleCondition&) = default;
};

// Where a scale's descriptor puts the parts of its weight report.
class ScaleLayout {
public:
    // The layout the descriptor declares, or why it is not a scale this program understands.
    static std::variant<ScaleLayout, QString> of(const ReportDescriptor& descriptor);
    // The weight or state in one input report; nothing for a report of another ID, or one
    // too short for its fields.
    std::optional<std::variant<ScaleWeight, ScaleCondition>>
    decode(std::span<const std::uint8_t> report) const;
    std::uint8_t reportId() const { return weight_.reportId; }
    // The output report that zeroes the scale, as written to the device (its ID byte first);
    // none when the scale declares no Zero Scale control. The usages define no tare.
    const std::optional<std::vector<std::uint8_t>>& zeroReport() const { return zero_; }

private:
    ReportField weight_;
    std::optional<ReportField> status_, unit_, scaling_;
    std::optional<std::vector<std::uint8_t>> zero_;
};

// "kg" for unit 3, ...; empty for a number outside 1..12.
QString unitSymbol(int unit);
// weight × 10^exponent written exactly, "-" before it when negative: (785, -2) "7.85".
QString scaledDecimal(std::int64_t weight, int exponent);

} // namespace tarovex::hid
