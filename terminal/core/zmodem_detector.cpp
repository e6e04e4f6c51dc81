#include "zmodem_detector.h"

namespace terminal {

namespace {

constexpr std::array<uint16_t, 256> makeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> CrcTable = makeCrcTable();

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

constexpr size_t HexDigits = 14;
constexpr size_t BinaryBytes = 7;
constexpr size_t HeaderBytes = 7; // type, four flag bytes, two CRC bytes

} // namespace

uint16_t Crc16(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ CrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    }
    return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

void ZmodemDetector::ResetZmodemDetect() {
    buffer_.fill(0);
    count_ = 0;
    type_ = 0;
    collecting_ = false;
    padSeen_ = false;
    padZdleSeen_ = false;
}

ZmodemDetection ZmodemDetector::ZmodemDetect(const uint8_t* bytes, size_t length) {
    ZmodemDetection result;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = bytes[i];
        if (collecting_) {
            if (collect(c) && result.headers++ == 0) {
                result.end = i + 1;
            }
            continue;
        }
        if (c == Pad) {
            padSeen_ = true;
            padZdleSeen_ = false;
        } else if (c == Zdle) {
            if (padSeen_) {
                padZdleSeen_ = true;
            }
        } else if ((c == 'A' || c == 'B') && padSeen_ && padZdleSeen_) {
            type_ = c;
            collecting_ = true;
            count_ = 0;
        } else {
            padSeen_ = false;
            padZdleSeen_ = false;
        }
    }
    return result;
}

bool ZmodemDetector::collect(uint8_t byte) {
    if (count_ == BufferSize) {
        ResetZmodemDetect();
        return false;
    }
    buffer_[count_++] = byte;
    if (type_ == 'B' && count_ == HexDigits) {
        return checkHeader(HexDigits);
    }
    if (type_ == 'A' && count_ == BinaryBytes) {
        return checkHeader(BinaryBytes);
    }
    return false;
}

bool ZmodemDetector::checkHeader(size_t length) {
    // Undo ZDLE escapes; a header that needed any is then too short and is given up.
    std::array<uint8_t, HexDigits> plain{};
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (buffer_[i] == Zdle) {
            if (++i == length) {
                break;
            }
            plain[n++] = buffer_[i] ^ 0x40;
        } else {
            plain[n++] = buffer_[i];
        }
    }
    if (n < length) {
        ResetZmodemDetect();
        return false;
    }
    std::array<uint8_t, HeaderBytes> header{};
    if (type_ == 'B') {
        for (size_t k = 0; k < HeaderBytes; ++k) {
            const int high = hexValue(plain[2 * k]);
            const int low = hexValue(plain[2 * k + 1]);
            header[k] = high < 0 || low < 0 ? 0xFF : static_cast<uint8_t>(high << 4 | low);
        }
    } else {
        for (size_t k = 0; k < HeaderBytes; ++k) {
            header[k] = plain[k];
        }
    }
    if (header[0] != 0) {
        // Another frame type: the following bytes are collected and dropped until the buffer is full.
        return false;
    }
    const uint16_t sent = static_cast<uint16_t>(header[5] | header[6] << 8);
    if (Crc16(header.data(), 5) != sent) {
        ResetZmodemDetect();
        return false;
    }
    // Found: the state stays as it is until the transfer that follows resets it.
    return true;
}

} // namespace terminal
