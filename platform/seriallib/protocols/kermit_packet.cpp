#include "kermit_packet.h"

#include <algorithm>
#include <array>

namespace seriallib::kermit {
namespace {

constexpr int kMaxLongPacket = 9024; // the longest long packet we accept or send
constexpr int kMaxWindow = 31;
constexpr uint8_t kCapasLong = 2;
constexpr uint8_t kCapasWindows = 4;
constexpr uint8_t kCapasAttributes = 8;
constexpr uint8_t kCapasMore = 1;

constexpr std::array<uint16_t, 256> makeKermitTable() {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = uint16_t(i);
        for (int b = 0; b < 8; ++b)
            c = uint16_t((c & 1) ? (c >> 1) ^ 0x8408 : c >> 1);
        t[i] = c;
    }
    return t;
}
constexpr auto kKermitTable = makeKermitTable();

int checkLength(int chkt) {
    return chkt == 3 ? 3 : chkt == 2 || chkt == CheckBlankFree2 ? 2 : 1;
}

uint8_t check1(unsigned sum) {
    return tochar(int((sum + ((sum >> 6) & 3)) & 63));
}

void appendCheck(std::vector<uint8_t>& out, const uint8_t* from, size_t size, int chkt) {
    if (chkt == 3) {
        const uint16_t crc = crc16Kermit(from, size);
        out.push_back(tochar((crc >> 12) & 0x0f));
        out.push_back(tochar((crc >> 6) & 0x3f));
        out.push_back(tochar(crc & 0x3f));
        return;
    }
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += from[i];
    if (chkt == 2 || chkt == CheckBlankFree2) {
        // The blank-free form adds one to each character so that neither is ever a space.
        const int shift = chkt == CheckBlankFree2 ? 1 : 0;
        out.push_back(tochar(int((sum >> 6) & 63) + shift));
        out.push_back(tochar(int(sum & 63) + shift));
        return;
    }
    out.push_back(check1(sum));
}

bool checkMatches(const std::vector<uint8_t>& body, size_t covered, int chkt) {
    std::vector<uint8_t> want;
    appendCheck(want, body.data(), covered, chkt);
    return body.size() == covered + want.size() &&
           std::equal(want.begin(), want.end(), body.begin() + long(covered));
}

bool isPrefixChar(uint8_t c) {
    return (c >= 33 && c <= 62) || (c >= 96 && c <= 126);
}

} // namespace

uint16_t crc16Kermit(const uint8_t* data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = uint16_t((crc >> 8) ^ kKermitTable[(crc ^ data[i]) & 0xff]);
    return crc;
}

std::vector<uint8_t> Params::encode() const {
    std::vector<uint8_t> d;
    d.push_back(tochar(std::clamp(maxl, 10, 94)));
    d.push_back(tochar(std::clamp(timeout, 0, 94)));
    d.push_back(tochar(std::clamp(npad, 0, 94)));
    d.push_back(ctl(padc));
    d.push_back(tochar(eol));
    d.push_back(qctl);
    d.push_back(qbin);
    d.push_back(chkt == CheckBlankFree2 ? uint8_t('B') : uint8_t('0' + chkt));
    d.push_back(rept);
    uint8_t capas = 0;
    if (longPackets)
        capas |= kCapasLong;
    if (attributes)
        capas |= kCapasAttributes;
    const int w = std::clamp(window, 1, kMaxWindow);
    if (w > 1)
        capas |= kCapasWindows;
    d.push_back(tochar(capas));
    d.push_back(tochar(w));
    const int lx = std::clamp(maxlx, 0, 94 * 95 + 94);
    d.push_back(tochar(lx / 95));
    d.push_back(tochar(lx % 95));
    return d;
}

Params Params::decode(const std::vector<uint8_t>& d) {
    Params p;
    auto has = [&](size_t i) { return i < d.size() && d[i] != ' '; };
    if (has(0))
        p.maxl = std::clamp(unchar(d[0]), 10, 94);
    if (has(1))
        p.timeout = std::max(unchar(d[1]), 0);
    if (has(2))
        p.npad = std::clamp(unchar(d[2]), 0, 94);
    if (d.size() > 3)
        p.padc = ctl(d[3]);
    if (has(4))
        p.eol = uint8_t(std::clamp(unchar(d[4]), 0, 31));
    if (has(5))
        p.qctl = d[5];
    if (has(6))
        p.qbin = d[6];
    // A type we do not know leaves type 1, which every Kermit has.
    if (has(7) && ((d[7] >= '1' && d[7] <= '3') || d[7] == '5'))
        p.chkt = d[7] - '0';
    else if (has(7) && d[7] == 'B')
        p.chkt = CheckBlankFree2;
    if (has(8))
        p.rept = d[8];
    // Capability bytes: the low bit says another one follows. Then the window size and the
    // long-packet length, after the last capability byte.
    size_t i = 9;
    if (i < d.size()) {
        const int first = unchar(d[i]);
        bool windows = false;
        if (first > 0) {
            p.longPackets = (first & kCapasLong) != 0;
            p.attributes = (first & kCapasAttributes) != 0;
            windows = (first & kCapasWindows) != 0;
        }
        while (i < d.size() && (unchar(d[i]) & kCapasMore))
            ++i;
        ++i;
        if (windows && i < d.size())
            p.window = std::clamp(unchar(d[i]), 1, kMaxWindow);
        ++i;
        if (i + 1 < d.size())
            p.maxlx = unchar(d[i]) * 95 + unchar(d[i + 1]);
        if (p.longPackets && p.maxlx <= 0)
            p.maxlx = 500;
    }
    return p;
}

Agreement Agreement::make(const Params& ours, const Params& theirs) {
    Agreement a;
    // The receiver answers with the sender's type when it has it; anything else means type 1.
    a.chkt = ours.chkt != theirs.chkt ? 1 : ours.chkt == CheckForced3 ? 3 : ours.chkt;
    a.qctl = ours.qctl;
    a.peerQctl = isPrefixChar(theirs.qctl) ? theirs.qctl : '#';
    // 8th-bit prefixing: one side names the character and the other agrees (or names the same).
    if (isPrefixChar(ours.qbin) && (theirs.qbin == 'Y' || theirs.qbin == ours.qbin))
        a.qbin = ours.qbin;
    else if (isPrefixChar(theirs.qbin) && (ours.qbin == 'Y' || ours.qbin == theirs.qbin))
        a.qbin = theirs.qbin;
    if (ours.rept != ' ' && ours.rept == theirs.rept && isPrefixChar(ours.rept))
        a.rept = ours.rept;
    // A prefix may not be used for two things.
    if (a.qbin == a.qctl || a.qbin == a.peerQctl)
        a.qbin = 0;
    if (a.rept == a.qctl || a.rept == a.peerQctl || (a.rept && a.rept == a.qbin))
        a.rept = 0;
    a.longPackets = ours.longPackets && theirs.longPackets;
    a.attributes = ours.attributes && theirs.attributes;
    a.window = std::min(ours.window, theirs.window);
    a.sendLimit = a.longPackets ? size_t(std::clamp(theirs.maxlx, 20, kMaxLongPacket)) : size_t(theirs.maxl);
    if (a.longPackets && a.sendLimit <= 94)
        a.longPackets = false;
    a.npad = theirs.npad;
    a.padc = theirs.padc;
    a.eol = theirs.eol;
    return a;
}

size_t Agreement::dataCapacity() const {
    const size_t k = size_t(checkLength(chkt));
    if (longPackets)
        return sendLimit - 7 - k;
    return sendLimit - 2 - k;
}

std::vector<uint8_t> encodePacket(int seq, uint8_t type, const std::vector<uint8_t>& data, int chkt,
                                  const Agreement& a) {
    std::vector<uint8_t> out(size_t(a.npad), a.padc);
    out.push_back(MARK);
    const size_t start = out.size();
    const int k = checkLength(chkt);
    const size_t n = data.size() + size_t(k);
    if (2 + n <= 94) {
        out.push_back(tochar(int(2 + n)));
        out.push_back(tochar(seq & 63));
        out.push_back(type);
    } else {
        out.push_back(tochar(0));
        out.push_back(tochar(seq & 63));
        out.push_back(type);
        out.push_back(tochar(int(n / 95)));
        out.push_back(tochar(int(n % 95)));
        unsigned sum = 0;
        for (size_t i = start; i < out.size(); ++i)
            sum += out[i];
        out.push_back(check1(sum));
    }
    out.insert(out.end(), data.begin(), data.end());
    appendCheck(out, out.data() + start, out.size() - start, chkt);
    out.push_back(a.eol);
    return out;
}

Packet readPacket(TransferContext& ctx, int chkt, Clock::time_point deadline, bool sevenBit, size_t maxData) {
    Packet p;
    const uint8_t mask = sevenBit ? 0x7f : 0xff;
    // Once a packet has begun, its bytes may each take the longest pause inside a packet, whatever
    // the deadline; a packet that stalls has lost bytes and is spoilt, so that it costs a NAK and
    // not the sender's time-out. (The already-expired deadline first takes what is buffered.)
    const auto gap = ctx.timings().byteGap;
    bool inPacket = false;
    auto next = [&](int& c) {
        c = ctx.readByte(inPacket ? Clock::time_point{} : deadline);
        if (c == ReadTimedOut && inPacket)
            c = ctx.readByte(Clock::now() + gap);
        if (c >= 0) {
            c &= mask;
            return true;
        }
        if (c == ReadTimedOut)
            p.status = inPacket ? ReadStatus::BadPacket : ReadStatus::Timeout;
        else if (c == TransferErrNotOpen)
            p.status = ReadStatus::Failed;
        else {
            p.status = ReadStatus::Stopped;
            p.code = c;
        }
        return false;
    };
    int c = 0;
    // A stream that never forms a packet must not keep us past the deadline.
    unsigned scanned = 0;
    for (;;) {
        if ((++scanned & 255) == 0 && Clock::now() >= deadline) {
            p.status = ReadStatus::Timeout;
            return p;
        }
        if (!next(c))
            return p;
        if (c != MARK)
            continue;
    restart:
        // Marks that keep coming must not keep us past the deadline either.
        if (Clock::now() >= deadline + gap) {
            p.status = ReadStatus::Timeout;
            return p;
        }
        inPacket = true;
        std::vector<uint8_t> body; // LEN ... check
        if (!next(c))
            return p;
        if (c == MARK)
            goto restart;
        body.push_back(uint8_t(c));
        size_t total = 0; // characters after LEN
        size_t covered = 0;
        const int len = unchar(uint8_t(c));
        if (len == 0) {
            // Long packet: SEQ TYPE LENX1 LENX2 HCHECK, then data and check.
            for (int i = 0; i < 5; ++i) {
                if (!next(c))
                    return p;
                if (c == MARK)
                    goto restart;
                body.push_back(uint8_t(c));
            }
            unsigned sum = 0;
            for (int i = 0; i < 5; ++i)
                sum += body[size_t(i)];
            if (check1(sum) != body[5])
                return p.status = ReadStatus::BadPacket, p;
            const int lx = unchar(body[3]) * 95 + unchar(body[4]);
            if (lx < 1 || size_t(lx) > maxData + 3)
                return p.status = ReadStatus::BadPacket, p;
            total = 5 + size_t(lx);
        } else if (len >= 3 && len <= 94) {
            total = size_t(len);
        } else {
            p.status = ReadStatus::BadPacket;
            return p;
        }
        body.reserve(total + 1);
        while (body.size() < total + 1) {
            if (!next(c))
                return p;
            if (c == MARK)
                goto restart;
            body.push_back(uint8_t(c));
        }
        const uint8_t type = body[2];
        const size_t header = len == 0 ? 6 : 3;
        // The check type in force. Only what belongs to the S exchange may carry type 1 or a forced
        // 3 instead: any other packet that fails its check is spoilt, however well another fits.
        // Type 3 goes first, as a type-1 packet passes a CRC far more rarely than the reverse.
        int attempts[3] = {chkt, 0, 0};
        if (chkt == CheckInit || type == 'S') {
            attempts[0] = 3;
            attempts[1] = 1;
        }
        bool good = false;
        for (int attempt : attempts) {
            if (attempt == 0)
                break;
            const size_t k = size_t(checkLength(attempt));
            if (body.size() >= header + k) {
                covered = body.size() - k;
                good = checkMatches(body, covered, attempt);
            }
            if (good) {
                p.chkt = attempt;
                break;
            }
        }
        if (!good) {
            p.status = ReadStatus::BadPacket;
            return p;
        }
        p.status = ReadStatus::Ok;
        p.seq = unchar(body[1]) & 63;
        p.type = type;
        p.data.assign(body.begin() + long(header), body.begin() + long(covered));
        return p;
    }
}

// Control characters that must keep their prefix even when prefixing is cautious: NUL, the packet
// mark, Ctrl-C, the packet end, Ctrl-O, DLE, XON, XOFF, CAN, the telnet and rlogin escapes (FS to
// US), DEL; of the 8-bit forms also CSI and OSC, and 0xff (telnet's IAC).
constexpr uint32_t kKeepPrefixed = 1u << 0 | 1u << 1 | 1u << 3 | 1u << 13 | 1u << 15 | 1u << 16 | 1u << 17 |
                                   1u << 19 | 1u << 24 | 1u << 28 | 1u << 29 | 1u << 30 | 1u << 31;
constexpr uint32_t kKeepPrefixed8 = kKeepPrefixed | 1u << 27;

void Codec::encodeOne(uint8_t c, std::vector<uint8_t>& out) const {
    if (qbin_ && (c & 0x80)) {
        out.push_back(qbin_);
        c &= 0x7f;
    }
    const uint8_t low = c & 0x7f;
    const bool bare = cautious_ && low < 32 &&
                      (c < 0x80 ? !(kKeepPrefixed >> low & 1) : eightBit_ && !(kKeepPrefixed8 >> low & 1));
    if (bare) {
        out.push_back(c);
        return;
    }
    if (low < 32 || low == 127) {
        out.push_back(qctl_);
        c = ctl(c);
    } else if (low == qctl_ || (qbin_ && low == qbin_) || (rept_ && low == rept_)) {
        // The prefixes' high copies keep their prefix on any line: a peer may compare 7 bits.
        out.push_back(qctl_);
    }
    out.push_back(c);
}

void Codec::encode(const uint8_t* data, size_t size, size_t* pos, size_t capacity,
                   std::vector<uint8_t>& out) const {
    std::vector<uint8_t> unit;
    while (*pos < size) {
        const uint8_t c = data[*pos];
        size_t run = 1;
        if (rept_) {
            while (*pos + run < size && run < 94 && data[*pos + run] == c)
                ++run;
        }
        unit.clear();
        encodeOne(c, unit);
        size_t take = 1;
        if (rept_ && run >= 3 && run * unit.size() > unit.size() + 2) {
            unit.insert(unit.begin(), {rept_, tochar(int(run))});
            take = run;
        }
        if (out.size() + unit.size() > capacity)
            return;
        out.insert(out.end(), unit.begin(), unit.end());
        *pos += take;
    }
}

bool Codec::decode(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) const {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        int count = 1;
        uint8_t c = in[i++];
        if (rept_ && c == rept_) {
            if (i + 1 >= in.size())
                return false;
            count = unchar(in[i++]);
            if (count < 0 || count > 94)
                return false;
            c = in[i++];
        }
        uint8_t high = 0;
        if (qbin_ && c == qbin_) {
            if (i >= in.size())
                return false;
            high = 0x80;
            c = in[i++];
        }
        if (c == qctl_) {
            if (i >= in.size())
                return false;
            c = in[i++];
            const uint8_t low = c & 0x7f;
            if ((low >= 64 && low <= 95) || low == 63)
                c = ctl(c);
        }
        c |= high;
        if (count == 1)
            out.push_back(c);
        else
            out.insert(out.end(), size_t(count), c);
    }
    return true;
}

} // namespace seriallib::kermit
