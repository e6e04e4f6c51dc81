#include "crc.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

const uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(Crc, KnownCheckValues) {
    constexpr std::string_view check = "123456789";
    EXPECT_EQ(wire::crc16(bytes(check), check.size()), 0x31C3);
    EXPECT_EQ(wire::crc32(bytes(check), check.size()), 0xCBF43926u);
    EXPECT_EQ(wire::crc16(nullptr, 0), 0);
    EXPECT_EQ(wire::crc32(nullptr, 0), 0u);
}

TEST(Crc, UpdateInPiecesMatchesWhole) {
    constexpr std::string_view text = "The quick brown fox jumps over the lazy dog";
    uint16_t c16 = 0;
    uint32_t reg = 0xFFFFFFFFu;
    for (char ch : text) {
        auto b = static_cast<uint8_t>(ch);
        c16 = wire::crc16Update(c16, &b, 1);
        reg = wire::crc32Update(reg, &b, 1);
    }
    EXPECT_EQ(c16, wire::crc16(bytes(text), text.size()));
    EXPECT_EQ(~reg, 0x414FA339u);
}

} // namespace
