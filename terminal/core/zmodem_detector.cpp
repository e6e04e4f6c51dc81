#include "zmodem_detector.h"

#include "crc.h"
#include "zmodem_header.h"

namespace terminal {

namespace {

constexpr size_t HexDigits = wire::zmodem::kHexHeaderDigits;
constexpr size_t BinaryBytes = wire::zmodem::binaryHeaderBytes(false);

} // namespace

uint16_t Crc16(const uint8_t* bytes, size_t length) {
    const uint16_t crc = wire::crc16(bytes, length);
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
    // A hex digit that is not one leaves the type unknown: not a ZRQINIT, so the rest is collected.
    wire::zmodem::Header header{0xFF};
    const auto check = type_ == 'B' ? wire::zmodem::decodeHexHeader(plain.data(), header)
                                    : wire::zmodem::decodeBinaryHeader(plain.data(), false, header);
    if (header.type != wire::zmodem::ZRQINIT) {
        // Another frame type: the following bytes are collected and dropped until the buffer is full.
        return false;
    }
    if (check != wire::zmodem::HeaderCheck::Ok) {
        ResetZmodemDetect();
        return false;
    }
    // Found: the state stays as it is until the transfer that follows resets it.
    return true;
}

} // namespace terminal
