#include "hid/ReportDescriptor.h"

#include <algorithm>
#include <map>

namespace tarovex::hid {
namespace {

struct Globals {
    std::uint32_t usagePage = 0;
    std::int32_t logicalMin = 0;
    std::int32_t logicalMax = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct Locals {
    std::vector<std::uint32_t> usages;
    std::uint32_t usageMin = 0;
    std::uint32_t usageMax = 0;
};

// A local usage of fewer than four bytes is on the current usage page.
std::uint32_t fullUsage(std::uint32_t data, int size, const Globals& g) {
    return size == 4 ? data : (g.usagePage << 16) | data;
}

std::int32_t signedData(std::uint32_t data, int size) {
    switch (size) {
    case 1:
        return std::int8_t(data);
    case 2:
        return std::int16_t(data);
    default:
        return std::int32_t(data);
    }
}

} // namespace

bool ReportField::carries(std::uint32_t usage) const {
    return std::find(usages.begin(), usages.end(), usage) != usages.end() ||
           (usageMin != 0 && usage >= usageMin && usage <= usageMax);
}

std::optional<std::int64_t> ReportField::value(std::span<const std::uint8_t> report,
                                               std::uint32_t index) const {
    if (index >= count || bitSize == 0 || bitSize > 32)
        return std::nullopt;
    std::span<const std::uint8_t> data = report;
    if (reportId != 0) {
        if (data.empty() || data[0] != reportId)
            return std::nullopt;
        data = data.subspan(1);
    }
    const std::uint64_t first = std::uint64_t(bitOffset) + std::uint64_t(index) * bitSize;
    if (first + bitSize > data.size() * 8u)
        return std::nullopt;
    std::uint64_t v = 0;
    for (std::uint32_t b = 0; b < bitSize; ++b) {
        const std::uint64_t bit = first + b;
        if (data[bit / 8] >> (bit % 8) & 1u)
            v |= std::uint64_t(1) << b;
    }
    // Signed where the logical range goes below zero.
    if (logicalMin < 0 && bitSize < 64 && (v >> (bitSize - 1) & 1u))
        return std::int64_t(v) - (std::int64_t(1) << bitSize);
    return std::int64_t(v);
}

ReportDescriptor ReportDescriptor::parse(std::span<const std::uint8_t> bytes) {
    ReportDescriptor d;
    Globals g;
    std::vector<Globals> stack;
    Locals l;
    std::vector<std::uint32_t> collections;
    std::map<std::pair<int, int>, std::uint32_t> offsets; // (kind, report ID) -> bits so far
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t prefix = bytes[i];
        if (prefix == 0xFE) { // a long item: skipped whole
            if (i + 2 >= bytes.size()) {
                d.error = "The report descriptor ends inside a long item";
                return d;
            }
            i += 3 + bytes[i + 1];
            continue;
        }
        const int size = (prefix & 3) == 3 ? 4 : prefix & 3;
        if (i + 1 + size > bytes.size()) {
            d.error = "The report descriptor ends inside an item at byte " + std::to_string(i);
            return d;
        }
        std::uint32_t data = 0;
        for (int b = 0; b < size; ++b)
            data |= std::uint32_t(bytes[i + 1 + b]) << (8 * b);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        i += 1 + size;
        if (type == 1) { // global
            switch (tag) {
            case 0:
                g.usagePage = data;
                break;
            case 1:
                g.logicalMin = signedData(data, size);
                break;
            case 2:
                g.logicalMax = size < 4 && g.logicalMin >= 0 ? std::int32_t(data) : signedData(data, size);
                break;
            case 7:
                g.reportSize = data;
                break;
            case 8:
                g.reportId = std::uint8_t(data);
                break;
            case 9:
                g.reportCount = data;
                break;
            case 10:
                stack.push_back(g);
                break;
            case 11:
                if (stack.empty()) {
                    d.error = "The report descriptor pops more than it pushed";
                    return d;
                }
                g = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == 2) { // local
            switch (tag) {
            case 0:
                l.usages.push_back(fullUsage(data, size, g));
                break;
            case 1:
                l.usageMin = fullUsage(data, size, g);
                break;
            case 2:
                l.usageMax = fullUsage(data, size, g);
                break;
            default:
                break;
            }
        } else if (type == 0) { // main
            if (tag == 8 || tag == 9 || tag == 11) {
                const auto kind = tag == 8   ? ReportField::Kind::Input
                                  : tag == 9 ? ReportField::Kind::Output
                                             : ReportField::Kind::Feature;
                std::uint32_t& offset = offsets[{int(kind), g.reportId}];
                // Constant fields are padding: they take bits, and carry nothing.
                if (!(data & 1)) {
                    ReportField f;
                    f.kind = kind;
                    f.reportId = g.reportId;
                    f.bitOffset = offset;
                    f.bitSize = g.reportSize;
                    f.count = g.reportCount;
                    f.variable = data & 2;
                    f.logicalMin = g.logicalMin;
                    f.logicalMax = g.logicalMax;
                    f.usages = l.usages;
                    f.usageMin = l.usageMin;
                    f.usageMax = l.usageMax;
                    f.collections = collections;
                    d.fields.push_back(std::move(f));
                }
                offset += g.reportSize * g.reportCount;
            } else if (tag == 10) { // collection
                collections.push_back(l.usages.empty() ? 0 : l.usages.front());
                if (data == 1)
                    d.applications.push_back(collections.back());
            } else if (tag == 12) {
                if (collections.empty()) {
                    d.error = "The report descriptor ends a collection it did not begin";
                    return d;
                }
                collections.pop_back();
            }
            l = {};
        }
    }
    return d;
}

} // namespace tarovex::hid
