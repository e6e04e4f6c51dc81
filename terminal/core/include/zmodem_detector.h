// Watches received data for the header with which a ZMODEM sender opens a transfer (ZRQINIT), so the
// terminal can start receiving on its own. Incremental: a header may be split over any number of runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace terminal {

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection), returned with its two bytes swapped: equal
// to the two CRC bytes of a header (sent high byte first) read as a little-endian word.
uint16_t Crc16(const uint8_t* bytes, size_t length);

struct ZmodemDetection {
    int headers = 0; // ZRQINIT headers completed in this run (each asks for one start)
    size_t end = 0;  // when headers > 0: offset just past the first one's last byte in the run
};

class ZmodemDetector {
public:
    static constexpr uint8_t Pad = '*';
    static constexpr uint8_t Zdle = 0x18;
    static constexpr size_t BufferSize = 100;

    ZmodemDetection ZmodemDetect(const uint8_t* bytes, size_t length);
    void ResetZmodemDetect();

    bool collecting() const { return collecting_; }
    size_t collected() const { return count_; }

private:
    // Handles one collected byte; true when it completed a valid ZRQINIT.
    bool collect(uint8_t byte);
    bool checkHeader(size_t length);

    std::array<uint8_t, BufferSize> buffer_{};
    size_t count_ = 0;
    uint8_t type_ = 0; // 'A' binary, 'B' hex
    bool collecting_ = false;
    bool padSeen_ = false;
    bool padZdleSeen_ = false;
};

} // namespace terminal
