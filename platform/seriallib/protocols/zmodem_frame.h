#pragma once
// ZMODEM framing on a transfer channel: data subpackets, and headers and subpackets pulled through
// ZmodemInput with deadlines.

#include "transfer_context.h"
#include "zmodem_header.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace seriallib::zmodem {

// The header codec and the frame constants live with the other wire pieces.
using namespace ::wire::zmodem;

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
    static constexpr int kNoHeader = 0, kFailed = -1, kCancelled = -2; // from readHeaderLeadIn
    int readHeaderLeadIn(Clock::time_point deadline, int& cans);
    Status readHexHeader(Clock::time_point deadline, Header& header);
    Status readBinaryHeader(Clock::time_point deadline, bool crc32, Header& header);
    Status swallowLineEnd(Clock::time_point deadline);
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
