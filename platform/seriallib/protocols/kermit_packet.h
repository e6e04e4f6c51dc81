#pragma once
// Kermit packets: framing with block checks 1, 2, 3 and the blank-free 2 (normal and long packets),
// the send-init parameters and their negotiation (sliding windows among them), and the prefix encoding of
// data (control, 8th bit, repeats).

#include "transfer_context.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace seriallib::kermit {

constexpr uint8_t MARK = 0x01;
inline uint8_t tochar(int x) {
    return uint8_t(x + 32);
}
inline int unchar(uint8_t c) {
    return int(c) - 32;
}
inline uint8_t ctl(uint8_t c) {
    return c ^ 64;
}

// Block check types as we number them. The blank-free two-character check goes on the wire as 'B';
// a forced type 3 ('5') also covers the S packet and its answer, which otherwise carry type 1.
constexpr int CheckBlankFree2 = 4;
constexpr int CheckForced3 = 5;
// What readPacket takes while the S exchange is on: type 3 (forced) or type 1.
constexpr int CheckInit = 0;

// CRC-16 as Kermit's type-3 check uses it (reflected polynomial 0x8408, initial 0).
uint16_t crc16Kermit(const uint8_t* data, size_t size);

// What one side announces in its S packet or in the ACK to it.
struct Params {
    int maxl = 80;      // longest normal packet it can receive
    int timeout = 5;    // seconds it wants the other side to wait
    int npad = 0;       // padding it needs before each packet
    uint8_t padc = 0;   // the padding character
    uint8_t eol = '\r'; // what it wants after each packet
    uint8_t qctl = '#'; // control prefix it will use
    uint8_t qbin = 'N'; // 8th-bit prefix: a prefix character, 'Y' (will if asked) or 'N'
    int chkt = 1;       // block check type wanted: 1, 2, 3, CheckBlankFree2 or CheckForced3
    uint8_t rept = ' '; // repeat prefix, ' ' for none
    bool longPackets = false;
    bool attributes = false;
    int window = 1; // packets it takes in flight (sliding windows when above 1), up to 31
    int maxlx = 0;  // longest long packet it can receive (when longPackets)

    std::vector<uint8_t> encode() const;
    // Fields that are missing take their defaults.
    static Params decode(const std::vector<uint8_t>& data);
};

// What both sides agreed on; the sender's view and the receiver's view are the same.
struct Agreement {
    int chkt = 1;           // the check on every packet after the S exchange: 1, 2, 3 or CheckBlankFree2
    uint8_t qctl = '#';     // the peer's control prefix, used in what it sends; ours in what we send
    uint8_t peerQctl = '#'; // ... the one the peer uses
    uint8_t qbin = 0;       // 8th-bit prefix in use, 0 for none
    uint8_t rept = 0;       // repeat prefix in use, 0 for none
    size_t sendLimit = 80;  // longest packet we may send (total characters after MARK)
    bool longPackets = false;
    bool attributes = false;
    int window = 1; // packets in flight
    int npad = 0;
    uint8_t padc = 0;
    uint8_t eol = '\r';

    static Agreement make(const Params& ours, const Params& theirs);
    // How many data characters fit into one packet we send.
    size_t dataCapacity() const;
};

// Encodes one packet ready for the line (padding, MARK ... check, EOL).
std::vector<uint8_t> encodePacket(int seq, uint8_t type, const std::vector<uint8_t>& data, int chkt,
                                  const Agreement& a);

enum class ReadStatus { Ok, Timeout, BadPacket, Stopped, Failed };

struct Packet {
    ReadStatus status = ReadStatus::Timeout;
    int seq = 0;
    uint8_t type = 0;
    std::vector<uint8_t> data;
    int code = 0; // the stop code when Stopped
    int chkt = 0; // the check type it carried
};

// Reads the next packet. Its check type is chkt, except S packets, which carry type 1 or a forced 3
// (a sender repeats its S when our ACK to it went missing); CheckInit accepts 3 and 1 on any packet.
// Bytes are masked to 7 bits when sevenBit is set (a line with parity).
Packet readPacket(TransferContext& ctx, int chkt, Clock::time_point deadline, bool sevenBit,
                  size_t maxData = 9024 + 16);

// The prefix encoding of file data and names.
class Codec {
public:
    // With cautious set, the control characters that no terminal, line or flow control acts on go
    // unprefixed (and their 8-bit forms too when the line carries eight bits).
    Codec(uint8_t qctl, uint8_t qbin, uint8_t rept, bool cautious = false, bool eightBit = true)
        : qctl_(qctl), qbin_(qbin), rept_(rept), cautious_(cautious), eightBit_(eightBit && !qbin) {}
    // Appends the encoding of data[*pos...] to out, as much as fits into capacity; advances *pos.
    void encode(const uint8_t* data, size_t size, size_t* pos, size_t capacity,
                std::vector<uint8_t>& out) const;
    // Decodes a packet's data; false when it is malformed.
    bool decode(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) const;

private:
    void encodeOne(uint8_t c, std::vector<uint8_t>& out) const;
    uint8_t qctl_, qbin_, rept_;
    bool cautious_, eightBit_;
};

} // namespace seriallib::kermit
