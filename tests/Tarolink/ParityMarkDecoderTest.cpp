#include "Tarolink/ParityMarkDecoder.h"

#include <gtest/gtest.h>

using namespace Tarolink;
using M = ReceivedByte::Mark;

namespace {

std::vector<ReceivedByte> decodeChunks(const std::vector<std::vector<std::uint8_t>>& chunks) {
    ParityMarkDecoder d;
    std::vector<ReceivedByte> out;
    for (const auto& c : chunks)
        d.decode(c.data(), c.size(), out);
    return out;
}

} // namespace

TEST(ParityMarkDecoder, StreamsDecodeToBytesAndMarks) {
    struct Row {
        const char* what;
        std::vector<std::vector<std::uint8_t>> chunks;
        std::vector<ReceivedByte> expected;
    } rows[] = {
        {"plain bytes", {{0x31, 0x32, 0x0D}}, {{0x31, M::None}, {0x32, M::None}, {0x0D, M::None}}},
        {"FF FF is a data 0xFF",
         {{0x41, 0xFF, 0xFF, 0x42}},
         {{0x41, M::None}, {0xFF, M::None}, {0x42, M::None}}},
        {"FF 00 x marks x", {{0xFF, 0x00, 0x37}}, {{0x37, M::Error}}},
        {"FF 00 FF marks a 0xFF", {{0xFF, 0x00, 0xFF, 0x20}}, {{0xFF, M::Error}, {0x20, M::None}}},
        {"FF 00 00 is a break or error on 0", {{0xFF, 0x00, 0x00}}, {{0x00, M::ZeroError}}},
        {"plain zero bytes", {{0x00, 0x00}}, {{0x00, M::None}, {0x00, M::None}}},
        {"mark split after FF", {{0x41, 0xFF}, {0x00, 0x55}}, {{0x41, M::None}, {0x55, M::Error}}},
        {"mark split after FF 00", {{0xFF, 0x00}, {0x00, 0x30}}, {{0x00, M::ZeroError}, {0x30, M::None}}},
        {"doubled FF split", {{0xFF}, {0xFF}}, {{0xFF, M::None}}},
        {"three FF then FF", {{0xFF, 0xFF, 0xFF, 0xFF}}, {{0xFF, M::None}, {0xFF, M::None}}},
        {"unexpected FF x keeps both", {{0xFF, 0x41}}, {{0xFF, M::None}, {0x41, M::None}}},
        {"two marks in a row",
         {{0xFF, 0x00, 0x01, 0xFF, 0x00, 0x00}},
         {{0x01, M::Error}, {0x00, M::ZeroError}}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decodeChunks(row.chunks), row.expected) << row.what;
}

TEST(ParityMarkDecoder, ResetDropsAHalfMark) {
    ParityMarkDecoder d;
    std::vector<ReceivedByte> out;
    const std::uint8_t a[] = {0xFF, 0x00};
    d.decode(a, 2, out);
    EXPECT_TRUE(d.pending());
    d.reset();
    EXPECT_FALSE(d.pending());
    const std::uint8_t b[] = {0x41};
    d.decode(b, 1, out);
    EXPECT_EQ(out, (std::vector<ReceivedByte>{{0x41, M::None}}));
}
