#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarovex::hid {

// One field of a report, as a HID report descriptor declares it: where its bits are and which
// usages (page << 16 | id) its values carry.
struct ReportField {
    enum class Kind : std::uint8_t { Input, Output, Feature };
    Kind kind = Kind::Input;
    std::uint8_t reportId = 0;   // 0: the device numbers no reports
    std::uint32_t bitOffset = 0; // from the first byte after the report ID
    std::uint32_t bitSize = 0;   // of one value
    std::uint32_t count = 0;
    bool variable = false; // else an array: each value is an index into the usages
    std::int32_t logicalMin = 0;
    std::int32_t logicalMax = 0;
    std::vector<std::uint32_t> usages; // given one by one
    std::uint32_t usageMin = 0;        // or as a range
    std::uint32_t usageMax = 0;
    std::vector<std::uint32_t> collections; // the usages of the collections around it, outermost first

    bool carries(std::uint32_t usage) const;
    // Value `index` of the field in a report (its ID byte included when it has one).
    std::optional<std::int64_t> value(std::span<const std::uint8_t> report, std::uint32_t index = 0) const;
};

// The fields of a report descriptor, or why it could not be read.
struct ReportDescriptor {
    std::vector<ReportField> fields;
    // The usages of its application collections: what the device says it is.
    std::vector<std::uint32_t> applications;
    std::string error;

    static ReportDescriptor parse(std::span<const std::uint8_t> bytes);
};

} // namespace tarovex::hid
