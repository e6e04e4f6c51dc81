#pragma once
// The check values of the transfer protocols.

#include <cstddef>
#include <cstdint>

namespace wire {

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection): XMODEM-CRC, YMODEM, ZMODEM hex/binary-16.
uint16_t crc16Update(uint16_t crc, const uint8_t* data, size_t size);
inline uint16_t crc16(const uint8_t* data, size_t size) {
    return crc16Update(0, data, size);
}

// CRC-32 (IEEE 802.3, reflected, initial and final XOR 0xFFFFFFFF): ZMODEM binary-32.
// crc32Update works on the running register (no final XOR); crc32 returns the finished value.
uint32_t crc32Update(uint32_t reg, const uint8_t* data, size_t size);
inline uint32_t crc32(const uint8_t* data, size_t size) {
    return ~crc32Update(0xFFFFFFFFu, data, size);
}

} // namespace wire
