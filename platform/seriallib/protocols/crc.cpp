#include "crc.h"

#include <array>

namespace seriallib {
namespace {

constexpr std::array<uint16_t, 256> makeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
        table[i] = c;
    }
    return table;
}

// Four tables: table k gives the register's change for a byte followed by k zero bytes, so four
// bytes are taken per step (a fast line's receiver spends much of its time here).
constexpr std::array<std::array<uint32_t, 256>, 4> makeCrc32Table() {
    std::array<std::array<uint32_t, 256>, 4> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int k = 1; k < 4; ++k)
            table[k][i] = (table[k - 1][i] >> 8) ^ table[0][table[k - 1][i] & 0xFF];
    return table;
}

constexpr auto kCrc16Table = makeCrc16Table();
constexpr auto kCrc32Table = makeCrc32Table();

} // namespace

uint16_t crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

uint32_t crc32Update(uint32_t reg, const uint8_t* data, size_t size) {
    const auto& t = kCrc32Table;
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        reg ^= uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
               uint32_t(data[i + 3]) << 24;
        reg = t[3][reg & 0xFF] ^ t[2][(reg >> 8) & 0xFF] ^ t[1][(reg >> 16) & 0xFF] ^ t[0][reg >> 24];
    }
    for (; i < size; ++i)
        reg = t[0][(reg ^ data[i]) & 0xFF] ^ (reg >> 8);
    return reg;
}

} // namespace seriallib
