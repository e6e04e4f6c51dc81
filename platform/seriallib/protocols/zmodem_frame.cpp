#include "zmodem_frame.h"

#include "crc.h"

#include <algorithm>
#include <array>

namespace seriallib::zmodem {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

constexpr bool isFlowByte(int c) {
    return c == XON || c == XOFF || c == (XON | 0x80) || c == (XOFF | 0x80);
}

void putHex(std::vector<uint8_t>& out, uint8_t c) {
    out.push_back(uint8_t(kHexDigits[c >> 4]));
    out.push_back(uint8_t(kHexDigits[c & 15]));
}

int hexValue(int c) {
    c &= 0x7f;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

namespace {

// How the escaper treats each byte value.
enum EscapeClass : uint8_t { Plain, Escape, CrAfterAt, Rub };

constexpr std::array<uint8_t, 256> makeEscapeClasses(bool all) {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (c == ZDLE || c == (ZDLE | 0x80) || isFlowByte(c))
            table[c] = Escape;
        else if (all && (c == 0x7f || c == 0xff))
            table[c] = Rub;
        else if (all && (c & 0x60) == 0)
            table[c] = Escape;
        else if ((c & 0x7f) == '\r')
            table[c] = CrAfterAt;
    }
    return table;
}

constexpr auto kEscapeSome = makeEscapeClasses(false);
constexpr auto kEscapeAll = makeEscapeClasses(true);

} // namespace

void Escaper::put(std::vector<uint8_t>& out, uint8_t c) {
    put(out, &c, 1);
}

void Escaper::put(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    // Room for the worst case, written through a pointer: this runs for every byte sent.
    const size_t base = out.size();
    out.resize(base + 2 * size);
    uint8_t* o = out.data() + base;
    const auto& classes = escapeAll_ ? kEscapeAll : kEscapeSome;
    uint8_t last = last_;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        switch (classes[c]) {
        case Plain:
            *o++ = c;
            break;
        case CrAfterAt:
            if ((last & 0x7f) != '@') {
                *o++ = c;
                break;
            }
            [[fallthrough]];
        case Escape:
            *o++ = ZDLE;
            *o++ = c ^ 0x40;
            break;
        default:
            *o++ = ZDLE;
            *o++ = c == 0x7f ? ZRUB0 : ZRUB1;
            break;
        }
        last = c;
    }
    out.resize(size_t(o - out.data()));
    last_ = last;
}

void appendHexHeader(std::vector<uint8_t>& out, const Header& h) {
    const uint8_t raw[5] = {h.type, h.b[0], h.b[1], h.b[2], h.b[3]};
    out.insert(out.end(), {ZPAD, ZPAD, ZDLE, ZHEX});
    for (uint8_t c : raw)
        putHex(out, c);
    const uint16_t crc = crc16(raw, sizeof raw);
    putHex(out, uint8_t(crc >> 8));
    putHex(out, uint8_t(crc));
    out.push_back('\r');
    out.push_back('\n' | 0x80);
    // The receiver may have been stopped by a stray XOFF; ZFIN and ZACK go without it.
    if (h.type != ZFIN && h.type != ZACK)
        out.push_back(XON);
}

void appendBinaryHeader(std::vector<uint8_t>& out, const Header& h, bool crc32, Escaper& esc) {
    const uint8_t raw[5] = {h.type, h.b[0], h.b[1], h.b[2], h.b[3]};
    out.insert(out.end(), {ZPAD, ZDLE, crc32 ? ZBIN32 : ZBIN});
    esc.put(out, raw, sizeof raw);
    if (crc32) {
        const uint32_t crc = seriallib::crc32(raw, sizeof raw);
        for (int i = 0; i < 4; ++i)
            esc.put(out, uint8_t(crc >> (8 * i)));
    } else {
        const uint16_t crc = crc16(raw, sizeof raw);
        esc.put(out, uint8_t(crc >> 8));
        esc.put(out, uint8_t(crc));
    }
}

void appendSubpacket(std::vector<uint8_t>& out, const uint8_t* data, size_t size, FrameEnd end, bool crc32,
                     Escaper& esc) {
    esc.put(out, data, size);
    out.push_back(ZDLE);
    out.push_back(end);
    const uint8_t endByte = end;
    if (crc32) {
        uint32_t reg = crc32Update(0xFFFFFFFFu, data, size);
        const uint32_t crc = ~crc32Update(reg, &endByte, 1);
        for (int i = 0; i < 4; ++i)
            esc.put(out, uint8_t(crc >> (8 * i)));
    } else {
        const uint16_t crc = crc16Update(crc16Update(0, data, size), &endByte, 1);
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
        int c = get(deadline);
        if (c < 0) {
            r.status = status_;
            return r;
        }
        if (c == CAN) {
            if (++cans >= 5) {
                r.status = Status::Cancelled;
                return r;
            }
            continue;
        }
        cans = 0;
        if ((c & 0x7f) != ZPAD)
            continue;
        // One or more pads, then ZDLE, then the encoding.
        do {
            c = get(deadline);
        } while (c >= 0 && (c & 0x7f) == ZPAD);
        if (c < 0) {
            r.status = status_;
            return r;
        }
        if (c != ZDLE) {
            if (c == CAN)
                cans = 1;
            continue;
        }
        c = get(deadline);
        if (c < 0) {
            r.status = status_;
            return r;
        }
        if (c == CAN) {
            cans = 2;
            continue;
        }
        uint8_t raw[9];
        if (c == ZHEX) {
            bool bad = false;
            for (int i = 0; i < 7 && !bad; ++i) {
                const int hi = get(deadline);
                if (hi < 0) {
                    r.status = status_;
                    return r;
                }
                const int lo = get(deadline);
                if (lo < 0) {
                    r.status = status_;
                    return r;
                }
                if (hexValue(hi) < 0 || hexValue(lo) < 0)
                    bad = true;
                else
                    raw[i] = uint8_t(hexValue(hi) << 4 | hexValue(lo));
            }
            if (bad) {
                r.status = Status::Garbage;
                return r;
            }
            if (crc16(raw, 5) != (uint16_t(raw[5]) << 8 | raw[6])) {
                r.status = Status::BadCrc;
                return r;
            }
            // Swallow the CR LF that follows a hex header when it is already on its way, so that a
            // data subpacket after it starts clean.
            const auto shortWait = std::min(deadline, Clock::now() + std::chrono::milliseconds(20));
            int t = get(shortWait);
            if (t >= 0 && (t & 0x7f) == '\r')
                t = get(shortWait);
            if (t >= 0 && (t & 0x7f) != '\n')
                unget(uint8_t(t));
            if (t < 0 && status_ == Status::Stopped) {
                r.status = status_;
                return r;
            }
            status_ = Status::Ok;
        } else if (c == ZBIN || c == ZBIN32) {
            const int n = c == ZBIN ? 7 : 9;
            for (int i = 0; i < n; ++i) {
                const int d = readEscaped(deadline);
                if (d < 0) {
                    r.status = status_;
                    return r;
                }
                if (d & kEnd) {
                    r.status = Status::Garbage;
                    return r;
                }
                raw[i] = uint8_t(d);
            }
            if (c == ZBIN) {
                if (crc16(raw, 5) != (uint16_t(raw[5]) << 8 | raw[6])) {
                    r.status = Status::BadCrc;
                    return r;
                }
            } else {
                const uint32_t want = uint32_t(raw[5]) | uint32_t(raw[6]) << 8 | uint32_t(raw[7]) << 16 |
                                      uint32_t(raw[8]) << 24;
                if (seriallib::crc32(raw, 5) != want) {
                    r.status = Status::BadCrc;
                    return r;
                }
            }
        } else {
            continue;
        }
        r.status = Status::Ok;
        r.encoding = uint8_t(c);
        r.header.type = raw[0];
        std::copy(raw + 1, raw + 5, r.header.b);
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
        const uint32_t reg = crc32Update(0xFFFFFFFFu, out.data(), out.size());
        const uint32_t crc = ~crc32Update(reg, &endByte, 1);
        good = crc == (uint32_t(check[0]) | uint32_t(check[1]) << 8 | uint32_t(check[2]) << 16 |
                       uint32_t(check[3]) << 24);
    } else {
        const uint16_t crc = crc16Update(crc16Update(0, out.data(), out.size()), &endByte, 1);
        good = crc == (uint16_t(check[0]) << 8 | check[1]);
    }
    r.status = good ? Status::Ok : Status::BadCrc;
    return r;
}

} // namespace seriallib::zmodem
