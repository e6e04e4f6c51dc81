#pragma once
// ZMODEM framing: headers (hex, binary with CRC-16 or CRC-32), ZDLE escaping and data subpackets.
// Encoding appends to a byte vector; decoding pulls bytes through ZmodemInput.

#include "transfer_context.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace seriallib::zmodem {

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
void appendSubpacket(std::vector<uint8_t>& out, const uint8_t* data, size_t size, FrameEnd end, bool crc32,
                     Escaper& esc);
// The cancel sequence: a run of CAN, then as many backspaces to clean up a terminal.
void appendCancel(std::vector<uint8_t>& out);

enum class Status {
    Ok,
    Timeout,
    Failed,    // the channel failed
    Cancelled, // the peer sent the cancel sequence
    Stopped,   // our own abort; ZmodemInput::stopCode() holds the result
    BadCrc,
    Garbage, // malformed escape, frame end where none belongs, or an over-long subpacket
};

struct HeaderResult {
    Status status = Status::Timeout;
    Header header;
    uint8_t encoding = 0; // ZHEX, ZBIN or ZBIN32
};

struct SubpacketResult {
    Status status = Status::Timeout;
    FrameEnd end = ZCRCE;
};

// Reading with deadlines through the transfer context, which sees the stop requests while waiting.
class ZmodemInput {
public:
    explicit ZmodemInput(TransferContext& ctx) : ctx_(ctx) {}

    // The next raw byte, or a negative Status-coded value (see rawStatus()).
    int get(Clock::time_point deadline);
    // True when a byte is buffered or can be read without waiting.
    bool ready();
    void unget(uint8_t c);
    // Takes in what has arrived, without waiting, and tells whether it holds the cancel sequence.
    bool cancelPending();
    void discardBuffered() { pos_ = len_ = 0; }

    // Waits for the next good header, passing over anything else. Once more than garbageLimit bytes
    // have gone by without one, returns Garbage.
    HeaderResult readHeader(Clock::time_point deadline, uint64_t garbageLimit = UINT64_MAX);
    // Reads one subpacket's data into out (cleared first), at most maxSize bytes.
    SubpacketResult readSubpacket(std::vector<uint8_t>& out, size_t maxSize, bool crc32,
                                  Clock::time_point deadline);

    // Bytes taken from the line so far.
    uint64_t consumed() const { return consumed_; }
    int stopCode() const { return stopCode_; }
    Status lastStatus() const { return status_; }

private:
    static constexpr int kEnd = 0x100; // flag on a frame-end marker from readEscaped
    int readEscaped(Clock::time_point deadline);
    // Appends the buffered bytes up to the next ZDLE or flow byte (at most max); returns the count.
    size_t takePlain(std::vector<uint8_t>& out, size_t max);
    int fail(Status s) {
        status_ = s;
        return -1;
    }
    bool fill(Clock::time_point deadline);

    TransferContext& ctx_;
    uint8_t buf_[8192];
    size_t pos_ = 0, len_ = 0;
    int pushed_ = -1;
    uint64_t consumed_ = 0;
    Status status_ = Status::Ok;
    int stopCode_ = 0;
};

} // namespace seriallib::zmodem
