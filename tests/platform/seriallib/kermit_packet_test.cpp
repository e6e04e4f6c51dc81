#include "kermit_packet.h"
#include "memory_channel.h"

#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

namespace {

using namespace seriallib;
using transfer_test::rowName;
using namespace seriallib::kermit;
using namespace std::chrono_literals;

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(KermitPacket, CheckValues) {
    const auto check = bytes("123456789");
    EXPECT_EQ(crc16Kermit(check.data(), check.size()), 0x2189);
}

// The S packet a peer program opens with (long packets, attributes, CRC, 8th-bit on request).
TEST(KermitPacket, PeerSendInitDecodes) {
    const auto data = bytes("~' @-#Y3~*!J*0+++J\"U");
    const Params p = Params::decode(data);
    EXPECT_EQ(p.maxl, 94);
    EXPECT_EQ(p.timeout, 7);
    EXPECT_EQ(p.eol, '\r');
    EXPECT_EQ(p.qctl, '#');
    EXPECT_EQ(p.qbin, 'Y');
    EXPECT_EQ(p.chkt, 3);
    EXPECT_EQ(p.rept, '~');
    EXPECT_TRUE(p.longPackets);
    EXPECT_TRUE(p.attributes);
    EXPECT_EQ(p.maxlx, 4000);
    EXPECT_EQ(p.window, 1); // no sliding windows offered
    // One that offers sliding windows (30 packets) among its capabilities.
    const Params windows = Params::decode(bytes("~/ @-#Y3~^>J)0___F\"U1@"));
    EXPECT_EQ(windows.window, 30);
    EXPECT_EQ(windows.maxlx, 3999);
    for (int ours : {1, 8, 31}) {
        Params mine;
        mine.window = ours;
        EXPECT_EQ(Params::decode(mine.encode()).window, ours);
        EXPECT_EQ(Agreement::make(mine, windows).window, std::min(ours, 30));
    }
    // A bare S packet keeps the defaults.
    const Params bare = Params::decode(bytes("H"));
    EXPECT_EQ(bare.maxl, 40);
    EXPECT_EQ(bare.chkt, 1);
    EXPECT_FALSE(bare.longPackets);
}

struct NegotiationCase {
    const char* name;
    uint8_t ourQbin, theirQbin;
    int ourChkt, theirChkt;
    uint8_t theirRept;
    bool theirLong;
    uint8_t wantQbin;
    int wantChkt;
    uint8_t wantRept;
    bool wantLong;
};

void PrintTo(const NegotiationCase& c, std::ostream* os) {
    *os << c.name;
}

const NegotiationCase negotiationCases[] = {
    {"both plain", 'Y', 'Y', 3, 3, '~', true, 0, 3, '~', true},
    {"we need the 8th-bit prefix", '&', 'Y', 3, 3, '~', true, '&', 3, '~', true},
    {"they need it", 'Y', '&', 3, 1, ' ', false, '&', 1, 0, false},
    {"they refuse it", '&', 'N', 3, 3, '~', true, 0, 3, '~', true},
    {"check types differ", 'Y', 'Y', 3, 2, '%', true, 0, 1, 0, true},
    {"both type 2", 'Y', 'Y', 2, 2, '~', true, 0, 2, '~', true},
    {"both blank-free 2", 'Y', 'Y', CheckBlankFree2, CheckBlankFree2, '~', true, 0, CheckBlankFree2, '~',
     true},
    {"both forced 3", 'Y', 'Y', CheckForced3, CheckForced3, '~', true, 0, 3, '~', true},
    {"forced 3 against plain 3", 'Y', 'Y', 3, CheckForced3, '~', true, 0, 1, '~', true},
};

class KermitNegotiation : public ::testing::TestWithParam<NegotiationCase> {};

TEST_P(KermitNegotiation, AgreesOnWhatBothSidesCanDo) {
    const NegotiationCase& c = GetParam();
    Params ours, theirs;
    ours.qbin = c.ourQbin;
    ours.chkt = c.ourChkt;
    ours.rept = '~';
    ours.longPackets = true;
    ours.maxlx = 9000;
    theirs.qbin = c.theirQbin;
    theirs.chkt = c.theirChkt;
    theirs.rept = c.theirRept;
    theirs.longPackets = c.theirLong;
    theirs.maxlx = 2000;
    theirs.maxl = 90;
    const Agreement a = Agreement::make(ours, Params::decode(theirs.encode()));
    EXPECT_EQ(a.qbin, c.wantQbin);
    EXPECT_EQ(a.chkt, c.wantChkt);
    EXPECT_EQ(a.rept, c.wantRept);
    EXPECT_EQ(a.longPackets, c.wantLong);
    EXPECT_EQ(a.sendLimit, c.wantLong ? 2000u : 90u);
}

INSTANTIATE_TEST_SUITE_P(Cases, KermitNegotiation, ::testing::ValuesIn(negotiationCases),
                         [](const ::testing::TestParamInfo<NegotiationCase>& info) {
                             return rowName(info.param.name);
                         });

// Every byte value, runs and the prefix characters themselves survive each encoding, and what goes on
// the line is printable (7-bit when the 8th-bit prefix is on).
TEST(KermitPacket, CodecRoundTrip) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 256; ++i)
        data.push_back(uint8_t(i));
    data.insert(data.end(), 200, 'x');
    data.insert(data.end(), 5, 0x00);
    data.insert(data.end(), 4, '~');
    data.insert(data.end(), {'#', '&', 0x80 | '#', 0x80 | '~', 0x80 | '&'});
    struct Case {
        uint8_t qbin, rept;
        bool cautious;
    };
    // What must never travel bare: the mark, the packet end, flow control, signals, escapes, DEL.
    const std::string neverBare("\x00\x01\x03\x0d\x0f\x10\x11\x13\x18\x1c\x1d\x1e\x1f\x7f", 14);
    for (const Case c : {Case{0, 0, false}, Case{'&', 0, false}, Case{0, '~', false}, Case{'&', '~', false},
                         Case{0, '~', true}, Case{'&', '~', true}}) {
        SCOPED_TRACE(std::to_string(c.qbin) + "/" + std::to_string(c.rept) + "/" +
                     std::to_string(c.cautious));
        const Codec codec('#', c.qbin, c.rept, c.cautious);
        std::vector<uint8_t> decoded;
        for (size_t capacity : {size_t(10), size_t(91), size_t(4000)}) {
            std::vector<uint8_t> all;
            size_t pos = 0;
            while (pos < data.size()) {
                std::vector<uint8_t> packet;
                const size_t before = pos;
                codec.encode(data.data(), data.size(), &pos, capacity, packet);
                ASSERT_GT(pos, before);
                ASSERT_LE(packet.size(), capacity);
                for (uint8_t b : packet) {
                    if (c.cautious) {
                        EXPECT_EQ(neverBare.find(char(b & 0x7f)), std::string::npos) << int(b);
                        EXPECT_NE(b, 0x9b);
                        EXPECT_NE(b, 0xff);
                    } else {
                        EXPECT_GE(b & 0x7f, 32);
                        EXPECT_NE(b & 0x7f, 127);
                    }
                    if (c.qbin) {
                        EXPECT_LT(b, 0x80);
                    }
                }
                std::vector<uint8_t> part;
                ASSERT_TRUE(codec.decode(packet, part));
                all.insert(all.end(), part.begin(), part.end());
            }
            EXPECT_EQ(all, data) << capacity;
        }
    }
    // Malformed: a prefix with nothing after it.
    std::vector<uint8_t> out;
    EXPECT_FALSE(Codec('#', '&', '~').decode(bytes("ab#"), out));
    EXPECT_FALSE(Codec('#', '&', '~').decode(bytes("~"), out));
    EXPECT_FALSE(Codec('#', '&', '~').decode(bytes("&"), out));
}

// Packets as a peer program sends them: the blank-free two-character check, and an S packet under a
// forced type 3, which the S exchange must read although type 1 is the rule there.
TEST(KermitPacket, PeerCheckTypesOnTheWire) {
    Agreement a;
    EXPECT_EQ(encodePacket(1, 'F', bytes("F.TXT"), CheckBlankFree2, a), bytes("\x01)!FF.TXT)%\r"));
    const auto forced = bytes("\x01; S~/ @-#Y5~^>J)0___F\"U1@!O6\r");
    const auto plain = bytes("\x01"
                             "9 S~/ @-#YB~^>J)0___F\"U1@N\r");
    for (const auto& [wire, wantCheck, wantChkt] :
         {std::tuple{forced, 3, CheckForced3}, std::tuple{plain, 1, CheckBlankFree2}}) {
        for (int reading : {CheckInit, 2}) {
            MemoryChannelPair line;
            line.a().write(wire.data(), wire.size(), Clock::now());
            TransferContext ctx(line.b(), nullptr, {});
            const Packet p = readPacket(ctx, reading, Clock::now() + 100ms, false);
            ASSERT_EQ(p.status, ReadStatus::Ok);
            EXPECT_EQ(p.type, 'S');
            EXPECT_EQ(p.chkt, wantCheck);
            EXPECT_EQ(Params::decode(p.data).chkt, wantChkt);
        }
    }
    // Any other packet must carry the check in force.
    const auto data = encodePacket(5, 'D', bytes("abc"), 1, a);
    MemoryChannelPair line;
    line.a().write(data.data(), data.size(), Clock::now());
    TransferContext ctx(line.b(), nullptr, {});
    EXPECT_EQ(readPacket(ctx, 3, Clock::now() + 100ms, false).status, ReadStatus::BadPacket);
}

TEST(KermitPacket, PacketsRoundTripAndSpoiltOnesAreRejected) {
    Agreement a;
    a.npad = 2;
    a.padc = 0;
    for (int chkt : {1, 2, 3, CheckBlankFree2}) {
        for (size_t size : {size_t(0), size_t(50), size_t(91), size_t(3000)}) {
            SCOPED_TRACE(std::to_string(chkt) + "/" + std::to_string(size));
            std::vector<uint8_t> data(size);
            for (size_t i = 0; i < size; ++i)
                data[i] = uint8_t(33 + i % 90);
            const auto wire = encodePacket(17, 'D', data, chkt, a);
            MemoryChannelPair line;
            line.a().write(wire.data(), wire.size(), Clock::now());
            TransferContext ctx(line.b(), nullptr, {});
            const Packet p = readPacket(ctx, chkt, Clock::now() + 100ms, false);
            ASSERT_EQ(p.status, ReadStatus::Ok);
            EXPECT_EQ(p.seq, 17);
            EXPECT_EQ(p.type, 'D');
            EXPECT_EQ(p.data, data);

            auto bad = wire;
            bad[bad.size() / 2 + 1] ^= 0x01;
            MemoryChannelPair line2;
            line2.a().write(bad.data(), bad.size(), Clock::now());
            TransferContext ctx2(line2.b(), nullptr, {});
            EXPECT_NE(readPacket(ctx2, chkt, Clock::now() + 100ms, false).status, ReadStatus::Ok);
        }
    }
    // A packet cut off by a new MARK is dropped and the next one read.
    auto first = encodePacket(1, 'D', bytes("hello world"), 3, a);
    first.resize(first.size() - 5);
    const auto second = encodePacket(2, 'D', bytes("again"), 3, a);
    first.insert(first.end(), second.begin(), second.end());
    MemoryChannelPair line;
    line.a().write(first.data(), first.size(), Clock::now());
    TransferContext ctx(line.b(), nullptr, {});
    const Packet p = readPacket(ctx, 3, Clock::now() + 100ms, false);
    ASSERT_EQ(p.status, ReadStatus::Ok);
    EXPECT_EQ(p.seq, 2);
}

// The high copies of the prefix characters are prefixed on an 8-bit line too, as a peer that compares
// only 7 bits would take a bare one for a prefix; sent bare by a peer, they are still read as data.
TEST(KermitPacket, HighCopiesOfThePrefixesArePrefixedAndReadEitherWay) {
    const std::vector<uint8_t> data{0x80 | '#', 0x80 | '~', '#', '~', 0x80 | '&'};
    const std::vector<uint8_t> prefixed{'#', 0xa3, '#', 0xfe, '#', '#', '#', '~', 0xa6};
    for (bool eightBit : {true, false}) {
        SCOPED_TRACE(eightBit ? "8-bit line" : "7-bit line");
        const Codec codec('#', 0, '~', true, eightBit);
        std::vector<uint8_t> out;
        size_t pos = 0;
        codec.encode(data.data(), data.size(), &pos, 100, out);
        EXPECT_EQ(out, prefixed);
        std::vector<uint8_t> back;
        ASSERT_TRUE(codec.decode(out, back));
        EXPECT_EQ(back, data);
    }
    const Codec eightBitCodec('#', 0, '~', true, true);
    std::vector<uint8_t> back;
    ASSERT_TRUE(eightBitCodec.decode({0xa3, 0xfe, '#', '#', '#', '~', 0xa6}, back));
    EXPECT_EQ(back, data);
}

} // namespace
