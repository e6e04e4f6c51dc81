#pragma once
// ZMODEM headers on the wire: the frame constants, ZDLE escaping, and the header codec (hex, binary with
// CRC-16 or CRC-32). Encoding appends to a byte vector; decoding checks bytes already taken off the line.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wire::zmodem {

constexpr uint8_t ZPAD = '*';
constexpr uint8_t ZDLE = 0x18;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t ZBIN = 'A';
constexpr uint8_t ZHEX = 'B';
constexpr uint8_t ZBIN32 = 'C';
constexpr uint8_t XON = 0x11;
constexpr uint8_t XOFF = 0x13;

enum FrameType : uint8_t {
    ZRQINIT = 0,
    ZRINIT = 1,
    ZSINIT = 2,
    ZACK = 3,
    ZFILE = 4,
    ZSKIP = 5,
    ZNAK = 6,
    ZABORT = 7,
    ZFIN = 8,
    ZRPOS = 9,
    ZDATA = 10,
    ZEOF = 11,
    ZFERR = 12,
    ZCRC = 13,
    ZCHALLENGE = 14,
    ZCOMPL = 15,
    ZCAN = 16,
    ZFREECNT = 17,
    ZCOMMAND = 18,
    ZSTDERR = 19,
};

// The byte after ZDLE that ends a data subpacket.
enum FrameEnd : uint8_t {
    ZCRCE = 'h', // end of frame, a header follows
    ZCRCG = 'i', // frame goes on without a reply
    ZCRCQ = 'j', // frame goes on, ZACK expected
    ZCRCW = 'k', // end of frame, ZACK expected
};
constexpr uint8_t ZRUB0 = 'l'; // escaped 0x7f
constexpr uint8_t ZRUB1 = 'm'; // escaped 0xff

// ZRINIT capability flags (ZF0).
constexpr uint8_t CANFDX = 0x01;
constexpr uint8_t CANOVIO = 0x02;
constexpr uint8_t CANBRK = 0x04;
constexpr uint8_t CANFC32 = 0x20;
constexpr uint8_t ESCCTL = 0x40;
constexpr uint8_t ESC8 = 0x80;
// ZSINIT flag (ZF0): the sender wants control characters escaped.
constexpr uint8_t TESCCTL = 0x40;
// ZFILE conversion option (ZF0): binary.
constexpr uint8_t ZCBIN = 1;

constexpr bool isFlowByte(int c) {
    return c == XON || c == XOFF || c == (XON | 0x80) || c == (XOFF | 0x80);
}

// A header: the type and four bytes. As a position the bytes are little-endian (ZP0..ZP3); as
// flags byte 3 is ZF0 and byte 0 is ZF3.
struct Header {
    uint8_t type = 0;
    uint8_t b[4] = {0, 0, 0, 0};

    uint32_t position() const {
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    uint8_t zf0() const { return b[3]; }
    uint8_t zf1() const { return b[2]; }
    static Header at(uint8_t type, uint32_t pos) {
        return Header{type, {uint8_t(pos), uint8_t(pos >> 8), uint8_t(pos >> 16), uint8_t(pos >> 24)}};
    }
    static Header flags(uint8_t type, uint8_t zf0, uint8_t zf1 = 0, uint8_t zf2 = 0, uint8_t zf3 = 0) {
        return Header{type, {zf3, zf2, zf1, zf0}};
    }
};

// ZDLE escaping of the bytes that the line may eat: ZDLE, XON, XOFF (with and without bit 7), CR
// after '@'; with escapeAll every control character and DEL too.
class Escaper {
public:
    explicit Escaper(bool escapeAll = false) : escapeAll_(escapeAll) {}
    void setEscapeAll(bool on) { escapeAll_ = on; }
    bool escapeAll() const { return escapeAll_; }
    void put(std::vector<uint8_t>& out, uint8_t c);
    void put(std::vector<uint8_t>& out, const uint8_t* data, size_t size);

private:
    bool escapeAll_;
    uint8_t last_ = 0;
};

void appendHexHeader(std::vector<uint8_t>& out, const Header& h);
void appendBinaryHeader(std::vector<uint8_t>& out, const Header& h, bool crc32, Escaper& esc);

// Digits of a hex header after "ZPAD ZPAD ZDLE ZHEX": type, four bytes and the CRC-16, two digits each.
constexpr size_t kHexHeaderDigits = 14;
// Bytes of a binary header after ZDLE decoding: type, four bytes and the CRC (two or four bytes).
constexpr size_t binaryHeaderBytes(bool crc32) {
    return crc32 ? 9 : 7;
}

// The value of one hex digit (either case), or -1.
int hexDigitValue(uint8_t c);

enum class HeaderCheck { Ok, NotHex, BadCrc };
// Decodes the hex digits into h, pair by pair; a pair that is not hex stops it (NotHex, the bytes before it
// decoded).
HeaderCheck decodeHexHeader(const uint8_t* digits, Header& h);
// Decodes binaryHeaderBytes(crc32) plain bytes into h.
HeaderCheck decodeBinaryHeader(const uint8_t* bytes, bool crc32, Header& h);

} // namespace wire::zmodem
