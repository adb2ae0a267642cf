// Weight reports of HID point-of-sale scales, decoded by what their descriptors declare.
#include "hid/ScaleReport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarovex::hid;

namespace {

// A scale as most declare themselves: report 3 with status, unit, scaling and a 16-bit weight,
// each a variable byte field in that order.
const std::vector<std::uint8_t> kCommon = {
    0x05, 0x8D, 0x09, 0x20, 0xA1, 0x01, // Scales: Scale Device, application
    0x09, 0x32, 0xA1, 0x02, 0x85, 0x03, // Scale Data Report, report 3
    0x09, 0x70, 0x15, 0x00, 0x25, 0x08, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,       // status
    0x09, 0x50, 0x25, 0x0C, 0x81, 0x02,                                           // unit
    0x09, 0x41, 0x15, 0x81, 0x25, 0x7F, 0x81, 0x02,                               // scaling, signed
    0x09, 0x40, 0x15, 0x00, 0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75, 0x10, 0x81, 0x02, // weight
    0xC0, 0xC0};

// Another order and numbering: report 5, the weight first, status and unit as arrays of their
// usages, a padding byte between.
const std::vector<std::uint8_t> kArrays = {
    0x05, 0x8D, 0x09, 0x20, 0xA1, 0x01, 0x85, 0x05, 0x09, 0x40, 0x15, 0x00,
    0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75, 0x10, 0x95, 0x01, 0x81, 0x02, // weight
    0x75, 0x08, 0x81, 0x03,                                           // padding
    0x19, 0x71, 0x29, 0x78, 0x15, 0x01, 0x25, 0x08, 0x81, 0x00,       // status 0x71..0x78
    0x19, 0x51, 0x29, 0x5C, 0x15, 0x01, 0x25, 0x0C, 0x81, 0x00,       // unit 0x51..0x5C
    0x09, 0x41, 0x15, 0x81, 0x25, 0x7F, 0x81, 0x02,                   // scaling
    0xC0};

ScaleLayout layout(const std::vector<std::uint8_t>& descriptor) {
    auto l = ScaleLayout::of(ReportDescriptor::parse(descriptor));
    if (auto* why = std::get_if<QString>(&l))
        ADD_FAILURE() << why->toStdString();
    return std::get<ScaleLayout>(l);
}

std::string decoded(const ScaleLayout& l, const std::vector<std::uint8_t>& report) {
    const auto d = l.decode(report);
    if (!d)
        return "none";
    if (const auto* w = std::get_if<ScaleWeight>(&*d))
        return (w->value + u' ' + w->unit + (w->stable() ? QString() : QStringLiteral(" moving")))
            .toStdString();
    return std::get<ScaleCondition>(*d).text.toStdString();
}

} // namespace

TEST(ScaleReport, DecodesWhatTheDescriptorDeclares) {
    const ScaleLayout common = layout(kCommon), arrays = layout(kArrays);
    const struct {
        const ScaleLayout& layout;
        std::vector<std::uint8_t> report;
        std::string weight;
    } cases[] = {
        {common, {0x03, 0x04, 0x0C, 0xFE, 0x11, 0x03}, "7.85 lb"},
        {common, {0x03, 0x04, 0x0B, 0xFF, 0x6F, 0x04}, "113.5 oz"},
        {common, {0x03, 0x02, 0x0B, 0xFF, 0x00, 0x00}, "0.0 oz"},
        {common, {0x03, 0x03, 0x02, 0x00, 0xE8, 0x03}, "1000 g moving"},
        {common, {0x03, 0x05, 0x03, 0xFD, 0x39, 0x30}, "-12.345 kg"},
        {common, {0x03, 0x01, 0x02, 0x00, 0x00, 0x00}, "The scale reports a fault"},
        {common,
         {0x03, 0x06, 0x02, 0x00, 0xFF, 0xFF},
         "Over weight: the load is more than the scale can weigh"},
        {common, {0x03, 0x07, 0x02, 0x00, 0x00, 0x00}, "The scale needs calibrating"},
        {common, {0x03, 0x08, 0x02, 0x00, 0x00, 0x00}, "The scale needs zeroing"},
        {common, {0x03, 0x09, 0x02, 0x00, 0x00, 0x00}, "The scale reports an unknown state 9"},
        {common, {0x04, 0x04, 0x0C, 0xFE, 0x11, 0x03}, "none"}, // another report
        {common, {0x03, 0x04, 0x0C, 0xFE, 0x11}, "none"},       // cut short
        {arrays, {0x05, 0x11, 0x03, 0x00, 0x04, 0x0C, 0xFE}, "7.85 lb"},
        {arrays, {0x05, 0x6F, 0x04, 0x00, 0x03, 0x0B, 0xFF}, "113.5 oz moving"},
        {arrays, {0x05, 0x39, 0x30, 0x00, 0x05, 0x01, 0x02}, "-1234500 mg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decoded(c.layout, c.report), c.weight) << int(c.report[1]);
}

TEST(ScaleReport, EveryUnitAndExponentIsExact) {
    const ScaleLayout l = layout(kCommon);
    const char* units[] = {"mg", "g", "kg", "ct", "taels", "gr", "dwt", "t", "tn", "ozt", "oz", "lb"};
    for (std::uint8_t u = 1; u <= 12; ++u)
        EXPECT_EQ(decoded(l, {0x03, 0x04, u, 0x00, 0x07, 0x00}), std::string("7 ") + units[u - 1]);
    const std::pair<int, std::string> scaled[] = {{-4, "1.2345"}, {-3, "12.345"}, {-2, "123.45"},
                                                  {-1, "1234.5"}, {0, "12345"},   {1, "123450"},
                                                  {2, "1234500"}, {3, "12345000"}};
    for (const auto& [exponent, text] : scaled)
        EXPECT_EQ(decoded(l, {0x03, 0x04, 0x02, std::uint8_t(exponent), 0x39, 0x30}), text + " g")
            << exponent;
    EXPECT_EQ(scaledDecimal(5, -4).toStdString(), "0.0005");
    EXPECT_EQ(scaledDecimal(0, 3).toStdString(), "0");
}

TEST(ScaleReport, SaysWhyADeviceIsNotUnderstood) {
    const std::vector<std::uint8_t> mouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x30,
                                             0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
    const std::pair<std::vector<std::uint8_t>, std::string> refused[] = {
        {mouse, "declares no weight"},
        {{0x05, 0x8D, 0x09}, "ends inside an item at byte 2"},
        {{0xC0}, "ends a collection it did not begin"},
    };
    for (const auto& [bytes, why] : refused) {
        const auto l = ScaleLayout::of(ReportDescriptor::parse(bytes));
        ASSERT_TRUE(std::holds_alternative<QString>(l)) << why;
        EXPECT_NE(std::get<QString>(l).toStdString().find(why), std::string::npos)
            << std::get<QString>(l).toStdString();
    }
}
