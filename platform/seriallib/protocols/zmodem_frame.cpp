#include "zmodem_frame.h"

#include "crc.h"

#include <algorithm>
#include <array>

namespace seriallib::zmodem {

void appendSubpacket(std::vector<uint8_t>& out, const uint8_t* data, size_t size, FrameEnd end, bool crc32,
                     Escaper& esc) {
    esc.put(out, data, size);
    out.push_back(ZDLE);
    out.push_back(end);
    const uint8_t endByte = end;
    if (crc32) {
        uint32_t reg = wire::crc32Update(0xFFFFFFFFu, data, size);
        const uint32_t crc = ~wire::crc32Update(reg, &endByte, 1);
        for (int i = 0; i < 4; ++i)
            esc.put(out, uint8_t(crc >> (8 * i)));
    } else {
        const uint16_t crc = wire::crc16Update(wire::crc16Update(0, data, size), &endByte, 1);
        esc.put(out, uint8_t(crc >> 8));
        esc.put(out, uint8_t(crc));
    }
    // After ZCRCW the sender waits for the reply: make sure a stopped receiver may send it.
    if (end == ZCRCW)
        out.push_back(XON);
}

void appendCancel(std::vector<uint8_t>& out) {
    out.insert(out.end(), 10, CAN);
    out.insert(out.end(), 10, '\b');
}

bool ZmodemInput::fill(Clock::time_point deadline) {
    const int n = ctx_.read(buf_, sizeof buf_, deadline);
    if (n > 0) {
        pos_ = 0;
        len_ = size_t(n);
        return true;
    }
    if (n == ReadTimedOut) {
        status_ = Status::Timeout;
    } else if (n == TransferErrNotOpen) {
        status_ = Status::Failed;
    } else {
        status_ = Status::Stopped;
        stopCode_ = n;
    }
    return false;
}

int ZmodemInput::get(Clock::time_point deadline) {
    ++consumed_;
    if (pushed_ >= 0) {
        const int c = pushed_;
        pushed_ = -1;
        return c;
    }
    if (pos_ == len_ && !fill(deadline)) {
        --consumed_;
        return -1;
    }
    return buf_[pos_++];
}

bool ZmodemInput::ready() {
    if (pushed_ >= 0 || pos_ < len_)
        return true;
    const int n = ctx_.read(buf_, sizeof buf_, Clock::now());
    if (n <= 0)
        return false;
    pos_ = 0;
    len_ = size_t(n);
    return true;
}

bool ZmodemInput::cancelPending() {
    if (pos_ > 0 && pos_ < len_) {
        std::copy(buf_ + pos_, buf_ + len_, buf_);
        len_ -= pos_;
        pos_ = 0;
    } else if (pos_ >= len_) {
        pos_ = len_ = 0;
    }
    if (len_ < sizeof buf_) {
        const int n = ctx_.read(buf_ + len_, sizeof buf_ - len_, Clock::now());
        if (n > 0)
            len_ += size_t(n);
    }
    int run = 0;
    for (size_t i = pos_; i < len_; ++i) {
        run = buf_[i] == CAN ? run + 1 : 0;
        if (run >= 5)
            return true;
    }
    return false;
}

void ZmodemInput::unget(uint8_t c) {
    --consumed_;
    pushed_ = c;
}

// One data byte after ZDLE decoding: 0..255, kEnd | frame-end byte, or -1 (status_ says why).
int ZmodemInput::readEscaped(Clock::time_point deadline) {
    for (;;) {
        int c = get(deadline);
        if (c < 0)
            return -1;
        if (c != ZDLE) {
            if (isFlowByte(c))
                continue;
            return c;
        }
        int cans = 1;
        for (;;) {
            c = get(deadline);
            if (c < 0)
                return -1;
            if (c == CAN) {
                if (++cans >= 5)
                    return fail(Status::Cancelled);
                continue;
            }
            // A flow byte between ZDLE and its partner was injected by the line: the escape goes on.
            if (isFlowByte(c))
                continue;
            break;
        }
        if (cans > 1)
            return fail(Status::Garbage);
        switch (c) {
        case ZCRCE:
        case ZCRCG:
        case ZCRCQ:
        case ZCRCW:
            return kEnd | c;
        case ZRUB0:
            return 0x7f;
        case ZRUB1:
            return 0xff;
        default:
            break;
        }
        if ((c & 0x60) == 0x40)
            return c ^ 0x40;
        return fail(Status::Garbage);
    }
}

// One step of the search for a header: the encoding byte after "ZPAD.. ZDLE", kNoHeader when the bytes
// taken were something else, kFailed (status_ says why) or kCancelled. `cans` counts a cancel sequence
// across steps.
int ZmodemInput::readHeaderLeadIn(Clock::time_point deadline, int& cans) {
    int c = get(deadline);
    if (c < 0)
        return kFailed;
    if (c == CAN)
        return ++cans >= 5 ? kCancelled : kNoHeader;
    cans = 0;
    if ((c & 0x7f) != ZPAD)
        return kNoHeader;
    // One or more pads, then ZDLE, then the encoding.
    do {
        c = get(deadline);
    } while (c >= 0 && (c & 0x7f) == ZPAD);
    if (c < 0)
        return kFailed;
    if (c != ZDLE) {
        if (c == CAN)
            cans = 1;
        return kNoHeader;
    }
    c = get(deadline);
    if (c < 0)
        return kFailed;
    if (c == CAN) {
        cans = 2;
        return kNoHeader;
    }
    return c;
}

Status ZmodemInput::readHexHeader(Clock::time_point deadline, Header& header) {
    uint8_t digits[kHexHeaderDigits];
    for (size_t i = 0; i < kHexHeaderDigits; i += 2) {
        const int hi = get(deadline);
        if (hi < 0)
            return status_;
        const int lo = get(deadline);
        if (lo < 0)
            return status_;
        digits[i] = uint8_t(hi & 0x7f);
        digits[i + 1] = uint8_t(lo & 0x7f);
        if (hexDigitValue(digits[i]) < 0 || hexDigitValue(digits[i + 1]) < 0)
            return Status::Garbage;
    }
    Header decoded;
    if (decodeHexHeader(digits, decoded) != HeaderCheck::Ok)
        return Status::BadCrc;
    const Status after = swallowLineEnd(deadline);
    if (after == Status::Ok)
        header = decoded;
    return after;
}

// Swallows the CR LF that follows a hex header when it is already on its way, so that a data subpacket
// after it starts clean.
Status ZmodemInput::swallowLineEnd(Clock::time_point deadline) {
    const auto shortWait = std::min(deadline, Clock::now() + std::chrono::milliseconds(20));
    int t = get(shortWait);
    if (t >= 0 && (t & 0x7f) == '\r')
        t = get(shortWait);
    if (t >= 0 && (t & 0x7f) != '\n')
        unget(uint8_t(t));
    if (t < 0 && status_ == Status::Stopped)
        return status_;
    status_ = Status::Ok;
    return Status::Ok;
}

Status ZmodemInput::readBinaryHeader(Clock::time_point deadline, bool crc32, Header& header) {
    uint8_t raw[binaryHeaderBytes(true)];
    for (size_t i = 0; i < binaryHeaderBytes(crc32); ++i) {
        const int d = readEscaped(deadline);
        if (d < 0)
            return status_;
        if (d & kEnd)
            return Status::Garbage;
        raw[i] = uint8_t(d);
    }
    Header decoded;
    if (decodeBinaryHeader(raw, crc32, decoded) != HeaderCheck::Ok)
        return Status::BadCrc;
    header = decoded;
    return Status::Ok;
}

HeaderResult ZmodemInput::readHeader(Clock::time_point deadline, uint64_t garbageLimit) {
    HeaderResult r;
    int cans = 0;
    unsigned scanned = 0;
    const uint64_t start = consumed_;
    for (;;) {
        // A peer that streams garbage without end must not keep us here past the deadline.
        if ((++scanned & 255) == 0 && Clock::now() >= deadline) {
            r.status = Status::Timeout;
            return r;
        }
        if (consumed_ - start > garbageLimit) {
            r.status = Status::Garbage;
            return r;
        }
        const int encoding = readHeaderLeadIn(deadline, cans);
        if (encoding == kFailed || encoding == kCancelled) {
            r.status = encoding == kCancelled ? Status::Cancelled : status_;
            return r;
        }
        if (encoding == ZHEX)
            r.status = readHexHeader(deadline, r.header);
        else if (encoding == ZBIN || encoding == ZBIN32)
            r.status = readBinaryHeader(deadline, encoding == ZBIN32, r.header);
        else
            continue;
        if (r.status == Status::Ok)
            r.encoding = uint8_t(encoding);
        return r;
    }
}

size_t ZmodemInput::takePlain(std::vector<uint8_t>& out, size_t max) {
    if (pushed_ >= 0)
        return 0;
    size_t end = pos_;
    const size_t limit = pos_ + std::min(max, len_ - pos_);
    while (end < limit && buf_[end] != ZDLE && !isFlowByte(buf_[end]))
        ++end;
    out.insert(out.end(), buf_ + pos_, buf_ + end);
    const size_t n = end - pos_;
    pos_ = end;
    consumed_ += n;
    return n;
}

SubpacketResult ZmodemInput::readSubpacket(std::vector<uint8_t>& out, size_t maxSize, bool crc32,
                                           Clock::time_point deadline) {
    SubpacketResult r;
    out.clear();
    for (;;) {
        // Runs of bytes that need no decoding are copied whole.
        if (out.size() < maxSize)
            takePlain(out, maxSize - out.size());
        const int c = readEscaped(deadline);
        if (c < 0) {
            r.status = status_;
            return r;
        }
        if (c & kEnd) {
            r.end = FrameEnd(c & 0xff);
            break;
        }
        if (out.size() >= maxSize) {
            r.status = Status::Garbage;
            return r;
        }
        out.push_back(uint8_t(c));
    }
    const uint8_t endByte = r.end;
    const int n = crc32 ? 4 : 2;
    uint8_t check[4];
    for (int i = 0; i < n; ++i) {
        const int c = readEscaped(deadline);
        if (c < 0) {
            r.status = status_;
            return r;
        }
        if (c & kEnd) {
            r.status = Status::Garbage;
            return r;
        }
        check[i] = uint8_t(c);
    }
    bool good;
    if (crc32) {
        const uint32_t reg = wire::crc32Update(0xFFFFFFFFu, out.data(), out.size());
        const uint32_t crc = ~wire::crc32Update(reg, &endByte, 1);
        good = crc == (uint32_t(check[0]) | uint32_t(check[1]) << 8 | uint32_t(check[2]) << 16 |
                       uint32_t(check[3]) << 24);
    } else {
        const uint16_t crc = wire::crc16Update(wire::crc16Update(0, out.data(), out.size()), &endByte, 1);
        good = crc == (uint16_t(check[0]) << 8 | check[1]);
    }
    r.status = good ? Status::Ok : Status::BadCrc;
    return r;
}

} // namespace seriallib::zmodem
