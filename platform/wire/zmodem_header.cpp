#include "zmodem_header.h"

#include "crc.h"

#include <algorithm>
#include <array>

namespace wire::zmodem {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void putHex(std::vector<uint8_t>& out, uint8_t c) {
    out.push_back(uint8_t(kHexDigits[c >> 4]));
    out.push_back(uint8_t(kHexDigits[c & 15]));
}

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

HeaderCheck checked(const uint8_t* raw, bool crc32, Header& h) {
    h.type = raw[0];
    std::copy(raw + 1, raw + 5, h.b);
    if (crc32) {
        const uint32_t want =
            uint32_t(raw[5]) | uint32_t(raw[6]) << 8 | uint32_t(raw[7]) << 16 | uint32_t(raw[8]) << 24;
        return wire::crc32(raw, 5) == want ? HeaderCheck::Ok : HeaderCheck::BadCrc;
    }
    return crc16(raw, 5) == (uint16_t(raw[5]) << 8 | raw[6]) ? HeaderCheck::Ok : HeaderCheck::BadCrc;
}

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
        const uint32_t crc = wire::crc32(raw, sizeof raw);
        for (int i = 0; i < 4; ++i)
            esc.put(out, uint8_t(crc >> (8 * i)));
    } else {
        const uint16_t crc = crc16(raw, sizeof raw);
        esc.put(out, uint8_t(crc >> 8));
        esc.put(out, uint8_t(crc));
    }
}

int hexDigitValue(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

HeaderCheck decodeHexHeader(const uint8_t* digits, Header& h) {
    uint8_t raw[kHexHeaderDigits / 2];
    for (size_t i = 0; i < sizeof raw; ++i) {
        const int hi = hexDigitValue(digits[2 * i]);
        const int lo = hexDigitValue(digits[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return HeaderCheck::NotHex;
        raw[i] = uint8_t(hi << 4 | lo);
        if (i == 0)
            h.type = raw[0];
        else if (i < 5)
            h.b[i - 1] = raw[i];
    }
    return checked(raw, false, h);
}

HeaderCheck decodeBinaryHeader(const uint8_t* bytes, bool crc32, Header& h) {
    return checked(bytes, crc32, h);
}

} // namespace wire::zmodem
