#include "zmodem_frame.h"

#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace seriallib;
using transfer_test::rowName;
using namespace seriallib::zmodem;

// Hands out a fixed byte string, then reports time-outs.
class ScriptChannel : public ByteChannel {
public:
    explicit ScriptChannel(std::vector<uint8_t> bytes, size_t chunk = 7)
        : bytes_(std::move(bytes)), chunk_(chunk) {}
    int read(uint8_t* buffer, size_t size, Clock::time_point) override {
        const size_t n = std::min({size, chunk_, bytes_.size() - pos_});
        std::copy_n(bytes_.begin() + long(pos_), n, buffer);
        pos_ += n;
        return int(n);
    }
    int write(const uint8_t*, size_t size, Clock::time_point) override { return int(size); }
    void purgeInput() override {}

private:
    std::vector<uint8_t> bytes_;
    size_t chunk_;
    size_t pos_ = 0;
};

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

Clock::time_point soon() {
    return Clock::now() + std::chrono::milliseconds(50);
}

TEST(ZmodemFrame, HexHeadersMatchWhatPeersSend) {
    std::vector<uint8_t> out;
    appendHexHeader(out, Header::at(ZRQINIT, 0));
    EXPECT_EQ(out, bytes("**\x18"
                         "B00000000000000\r\x8a\x11"));
    out.clear();
    appendHexHeader(out, Header::flags(ZRINIT, CANFDX | CANOVIO | CANFC32));
    EXPECT_EQ(out, bytes("**\x18"
                         "B0100000023be50\r\x8a\x11"));
    out.clear();
    appendHexHeader(out, Header::at(ZFIN, 0)); // no XON after ZFIN
    EXPECT_EQ(out.back(), 0x8a);
}

TEST(ZmodemFrame, HeadersRoundTripInEveryEncoding) {
    const Header sent = Header::at(ZDATA, 0x13181191u); // position bytes that all need escaping
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        std::vector<uint8_t> wire = bytes("garbage\r\n");
        Escaper esc;
        if (kind == 0)
            appendHexHeader(wire, sent);
        else
            appendBinaryHeader(wire, sent, kind == 2, esc);
        ScriptChannel ch(wire);
        TransferContext ctx(ch, nullptr, {});
        ZmodemInput in(ctx);
        const auto r = in.readHeader(soon());
        ASSERT_EQ(r.status, Status::Ok);
        EXPECT_EQ(r.encoding, kind == 0 ? ZHEX : kind == 1 ? ZBIN : ZBIN32);
        EXPECT_EQ(r.header.type, ZDATA);
        EXPECT_EQ(r.header.position(), 0x13181191u);
    }
}

TEST(ZmodemFrame, CorruptedHeadersAreRejected) {
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        std::vector<uint8_t> wire;
        Escaper esc;
        if (kind == 0)
            appendHexHeader(wire, Header::at(ZRPOS, 1234));
        else
            appendBinaryHeader(wire, Header::at(ZRPOS, 1234), kind == 2, esc);
        wire[5] ^= 0x01;
        ScriptChannel ch(wire);
        TransferContext ctx(ch, nullptr, {});
        ZmodemInput in(ctx);
        EXPECT_EQ(in.readHeader(soon()).status, Status::BadCrc);
    }
}

// Every byte value, in both escaping modes and both CRCs, comes back; the wire never carries a byte
// the line may eat.
TEST(ZmodemFrame, SubpacketsCarryEveryByteAndEscapeWhatTheLineEats) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 256; ++i)
        data.push_back(uint8_t(i));
    for (int i = 0; i < 256; ++i) { // every byte after '@' and after 0xc0 as well
        data.push_back(i % 2 ? '@' : 0xc0);
        data.push_back(uint8_t(i));
    }
    for (bool escapeAll : {false, true}) {
        for (bool crc32 : {false, true}) {
            SCOPED_TRACE(std::to_string(escapeAll) + std::to_string(crc32));
            std::vector<uint8_t> wire;
            Escaper esc(escapeAll);
            appendSubpacket(wire, data.data(), data.size(), ZCRCW, crc32, esc);
            for (size_t i = 0; i + 1 < wire.size(); ++i) {
                const uint8_t c = wire[i];
                if (i > 0 && wire[i - 1] == ZDLE)
                    continue;
                EXPECT_NE(c & 0x7f, XON) << i;
                EXPECT_NE(c & 0x7f, XOFF) << i;
                if (c == ZDLE)
                    continue;
                EXPECT_NE(c & 0x7f, 0x18) << i;
                if (i > 0 && (wire[i - 1] & 0x7f) == '@') {
                    EXPECT_NE(c & 0x7f, '\r') << i;
                }
                if (escapeAll) {
                    EXPECT_FALSE((c & 0x60) == 0 || (c & 0x7f) == 0x7f) << i;
                }
            }
            ScriptChannel ch(wire, 5);
            TransferContext ctx(ch, nullptr, {});
            ZmodemInput in(ctx);
            std::vector<uint8_t> got;
            const auto r = in.readSubpacket(got, 8192, crc32, soon());
            ASSERT_EQ(r.status, Status::Ok);
            EXPECT_EQ(r.end, ZCRCW);
            EXPECT_EQ(got, data);
        }
    }
}

struct SubpacketFault {
    const char* name;
    void (*mangle)(std::vector<uint8_t>&);
    size_t maxSize;
    Status want;
};

void PrintTo(const SubpacketFault& c, std::ostream* os) {
    *os << c.name;
}

const SubpacketFault subpacketFaults[] = {
    {"flipped bit", [](std::vector<uint8_t>& w) { w[3] ^= 0x04; }, 64, Status::BadCrc},
    {"too long", [](std::vector<uint8_t>&) {}, 5, Status::Garbage},
    {"cut short", [](std::vector<uint8_t>& w) { w.resize(6); }, 64, Status::Timeout},
    {"bad escape",
     [](std::vector<uint8_t>& w) {
         w.insert(w.begin() + 2, {ZDLE, 0x05});
     },
     64, Status::Garbage},
    {"peer cancels", [](std::vector<uint8_t>& w) { w.insert(w.begin() + 2, 5, CAN); }, 64, Status::Cancelled},
    {"flow bytes injected",
     [](std::vector<uint8_t>& w) {
         w.insert(w.begin() + 4, XOFF);
         w.insert(w.begin() + 2, XON | 0x80);
     },
     64, Status::Ok},
};

class ZmodemSubpacket : public ::testing::TestWithParam<SubpacketFault> {};

TEST_P(ZmodemSubpacket, FaultsAreReported) {
    const SubpacketFault& c = GetParam();
    const std::vector<uint8_t> data = bytes("hello, world");
    std::vector<uint8_t> wire;
    Escaper esc;
    appendSubpacket(wire, data.data(), data.size(), ZCRCE, true, esc);
    c.mangle(wire);
    ScriptChannel ch(wire);
    TransferContext ctx(ch, nullptr, {});
    ZmodemInput in(ctx);
    std::vector<uint8_t> got;
    const auto r = in.readSubpacket(got, c.maxSize, true, soon());
    EXPECT_EQ(r.status, c.want);
    if (c.want == Status::Ok) {
        EXPECT_EQ(got, data);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ZmodemSubpacket, ::testing::ValuesIn(subpacketFaults),
                         [](const ::testing::TestParamInfo<SubpacketFault>& info) {
                             return rowName(info.param.name);
                         });

TEST(ZmodemFrame, CancelSequenceAndStopWhileWaiting) {
    std::vector<uint8_t> wire = bytes("**");
    appendCancel(wire);
    ScriptChannel ch(wire);
    TransferContext ctx(ch, nullptr, {});
    ZmodemInput in(ctx);
    EXPECT_EQ(in.readHeader(soon()).status, Status::Cancelled);

    ScriptChannel silent({});
    PortAbort abort;
    abort.receive = true;
    TransferContext stoppedCtx(silent, &abort, {});
    ZmodemInput stopped(stoppedCtx);
    const auto r = stopped.readHeader(Clock::now() + std::chrono::seconds(10));
    EXPECT_EQ(r.status, Status::Stopped);
    EXPECT_EQ(stopped.stopCode(), -4);
}

} // namespace
