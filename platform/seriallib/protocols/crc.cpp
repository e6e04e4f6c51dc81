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

constexpr std::array<uint32_t, 256> makeCrc32Table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
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
    for (size_t i = 0; i < size; ++i)
        reg = kCrc32Table[(reg ^ data[i]) & 0xFF] ^ (reg >> 8);
    return reg;
}

} // namespace seriallib
