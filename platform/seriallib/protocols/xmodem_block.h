#pragma once
// The block format shared by XMODEM (checksum, CRC, 1K) and YMODEM.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace seriallib::xmodem {

constexpr uint8_t SOH = 0x01; // a 128-byte block follows
constexpr uint8_t STX = 0x02; // a 1024-byte block follows
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15; // also the start request of a checksum receiver
constexpr uint8_t CAN = 0x18;
constexpr uint8_t CRC_START = 'C';
constexpr uint8_t PAD = 0x1A; // fills the last block of a file

constexpr size_t kSmallBlock = 128;
constexpr size_t kLargeBlock = 1024;

// Header, number, its complement, the data padded to blockSize with `pad`, and the check: an
// 8-bit sum, or a CRC-16 high byte first.
std::vector<uint8_t> frameBlock(uint8_t number, const uint8_t* data, size_t size, size_t blockSize, bool crc,
                                uint8_t pad = PAD);
// Whether `check` (1 or 2 bytes) is right for the data.
bool checkMatches(const uint8_t* data, size_t size, const uint8_t* check, bool crc);

// The cancel sequence: CAN several times over, so that two of them survive a noisy line.
const std::vector<uint8_t>& cancelSequence();

// Block 0 of a YMODEM batch: the name, a NUL, the size in decimal; zeros after. An empty name ends
// the batch.
std::vector<uint8_t> batchHeader(const std::string& name, uint64_t size);
struct BatchEntry {
    std::string name; // empty: end of batch
    bool sizeKnown = false;
    uint64_t size = 0;
};
BatchEntry parseBatchHeader(const uint8_t* data, size_t size);

} // namespace seriallib::xmodem
