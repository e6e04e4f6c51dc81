#include "batch_protocols.h"
#include "kermit_packet.h"
#include "kermit_session.h"
#include "memory_channel.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_pair.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using namespace seriallib::kermit;
using transfer_test::rowName;
using transfer_test::ScratchDir;

TransferTimings quick() {
    return batch_test::Kermit::timings();
}

// On a line that carries seven bits only, both sides know of the parity and prefix the high bytes.
TEST(KermitSession, BatchOverASevenBitLine) {
    LineFaults sevenBit;
    sevenBit.fault = [](uint64_t, uint8_t& b) {
        b &= 0x7f;
        return true;
    };
    ScratchDir src, dst;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(src.file("file" + std::to_string(i)));
        transfer_test::writeFile(paths.back(), transfer_test::testData(3000 + size_t(i) * 2000, uint32_t(i)));
    }
    MemoryChannelPair line(sevenBit, sevenBit);
    KermitOptions o;
    o.parity = true;
    const auto r = batch_test::transfer<batch_test::Kermit>(line, paths, dst.path(), o, o);
    EXPECT_EQ(r.sent, 0);
    EXPECT_EQ(r.received, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(transfer_test::readFile(dst.file("file" + std::to_string(i))),
                  transfer_test::readFile(paths[size_t(i)]));
}

// Over many seeds at several rates of flipped and lost bytes both ways, each transfer ends with the
// exact file and success, or with a failure code and no file: never a wrong file, never a hang.
struct NoiseCase {
    std::vector<int> windows;
    double rate;
    int successes; // at least this many runs (four seeds a window) deliver
};

std::string noiseName(const NoiseCase& c) {
    std::ostringstream name;
    name << "window";
    for (int w : c.windows)
        name << "_" << w;
    name << "_rate_" << c.rate;
    return transfer_test::rowName(name.str());
}

void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << noiseName(c);
}

class KermitNoisyLine : public testing::TestWithParam<NoiseCase> {};

TEST_P(KermitNoisyLine, EndsInTheExactFileOrAFailureCode) {
    const NoiseCase& c = GetParam();
    const auto data = transfer_test::testData(6000, 9);
    TransferTimings t = quick();
    t.responseWait = 40ms;
    t.byteGap = 15ms;
    t.blockWait = 150ms;
    t.retries = 15;
    // One seed after the other: the waits are short, and many runs side by side would crowd each other.
    auto run = [&](int window, uint64_t seed) {
        SCOPED_TRACE("window " + std::to_string(window) + " seed " + std::to_string(seed));
        ScratchDir src, dst;
        transfer_test::writeFile(src.file("noisy"), data);
        LineFaults forward, back;
        forward.corrupt = back.corrupt = c.rate;
        forward.drop = back.drop = c.rate / 2;
        forward.seed = seed;
        back.seed = seed + 1000;
        MemoryChannelPair line(forward, back);
        KermitOptions o;
        o.window = window;
        const auto t0 = Clock::now();
        const auto r =
            batch_test::transfer<batch_test::Kermit>(line, {src.file("noisy")}, dst.path(), o, o, t);
        EXPECT_LT(Clock::now() - t0, 10s);
        if (r.received == 1) {
            EXPECT_EQ(transfer_test::readFile(dst.file("noisy")), data);
            return true;
        }
        EXPECT_LT(r.received, 0);
        EXPECT_LT(r.sent, 0);
        EXPECT_TRUE(dst.names().empty());
        return false;
    };
    // Each window's seeds on a thread of their own.
    std::vector<std::future<int>> perWindow;
    for (int window : c.windows)
        perWindow.push_back(transfer_test::runAsync([&run, window] {
            int delivered = 0;
            for (uint64_t seed = 1; seed <= 4; ++seed)
                delivered += run(window, seed);
            return delivered;
        }));
    int successes = 0;
    for (auto& w : perWindow)
        successes += w.get();
    EXPECT_GE(successes, c.successes);
}

// The protocol does recover, not merely fail safely: every run up to a rate of 3e-3 delivers, and half
// of those at 1e-2 with either window. (At the highest rate a damaged S exchange that passes its
// one-character check leaves the two sides on different check types.)
std::vector<NoiseCase> noiseCases() {
    std::vector<NoiseCase> out;
    for (int window : {1, 31})
        for (double rate : {1e-4, 1e-3, 3e-3})
            out.push_back({{window}, rate, 4});
    out.push_back({{1, 31}, 1e-2, 4});
    return out;
}

INSTANTIATE_TEST_SUITE_P(WindowsAndRates, KermitNoisyLine, testing::ValuesIn(noiseCases()),
                         [](const testing::TestParamInfo<NoiseCase>& info) { return noiseName(info.param); });

// A peer whose packets the test writes itself, with any check type.
struct PacketPeer {
    explicit PacketPeer(ByteChannel& channel) : ctx(channel, nullptr, {}, quick()) {}
    void send(int seq, uint8_t type, const std::string& data, int chkt) {
        ctx.write(kermit::encodePacket(seq, type, {data.begin(), data.end()}, chkt, agreed));
    }
    kermit::Packet read(int chkt, std::chrono::milliseconds wait = 2s) {
        return kermit::readPacket(ctx, chkt, Clock::now() + wait, false);
    }
    // Sends a packet and expects its ACK.
    void exchange(int seq, uint8_t type, const std::string& data, int chkt) {
        send(seq, type, data, chkt);
        const kermit::Packet p = read(chkt);
        EXPECT_EQ(p.status, kermit::ReadStatus::Ok);
        EXPECT_EQ(p.type, 'Y');
        EXPECT_EQ(p.seq, seq);
    }
    std::string sendInit(int chkt, int window = 1) {
        kermit::Params ours;
        ours.chkt = chkt;
        ours.window = window;
        const auto d = ours.encode();
        return {d.begin(), d.end()};
    }
    TransferContext ctx;
    kermit::Agreement agreed;
};

// Our receiver on one end of a line, driven by a scripted sender on the other.
struct ScriptedSend {
    explicit ScriptedSend(TransferProgressCallback progress = {})
        : rf(dst.path()), files(rf), peer(line.a()) {
        rx = transfer_test::runAsync([this, progress] {
            TransferContext ctx(line.b(), nullptr, progress, quick());
            return kermitReceive(ctx, files);
        });
    }
    // The S exchange (checked with type 1) and the F packet naming the file.
    void begin(const std::string& name, int window = 1) {
        peer.send(0, 'S', peer.sendInit(3, window), 1);
        ack = peer.read(kermit::CheckInit);
        EXPECT_EQ(ack.type, 'Y');
        peer.exchange(1, 'F', name, 3);
    }
    int result() {
        EXPECT_TRUE(transfer_test::ready(rx));
        return rx.get();
    }
    ScratchDir dst;
    MemoryChannelPair line;
    ReceiveFolder rf;
    FolderFiles files;
    PacketPeer peer;
    kermit::Packet ack; // the answer to the S packet
    std::future<int> rx;
};

// Our receiver answers each check type a sender offers with that type, and then reads packets
// carrying it; a forced type 3 covers the S exchange too.
struct CheckOfferCase {
    int offer, initCheck, dataCheck;
};

void PrintTo(const CheckOfferCase& c, std::ostream* os) {
    *os << std::string("offer_") + std::to_string(c.offer);
}

const CheckOfferCase checkOfferCases[] = {
    CheckOfferCase{1, 1, 1}, CheckOfferCase{2, 1, 2}, CheckOfferCase{3, 1, 3},
    CheckOfferCase{CheckBlankFree2, 1, CheckBlankFree2}, CheckOfferCase{CheckForced3, 3, 3}};

class KermitReceiverCheck : public ::testing::TestWithParam<CheckOfferCase> {};

TEST_P(KermitReceiverCheck, TakesTheCheckTypeTheSenderOffers) {
    const CheckOfferCase& c = GetParam();
    ScriptedSend script;
    auto& peer = script.peer;
    peer.send(0, 'S', peer.sendInit(c.offer), c.initCheck);
    const Packet ack = peer.read(CheckInit);
    ASSERT_EQ(ack.status, ReadStatus::Ok);
    EXPECT_EQ(ack.type, 'Y');
    EXPECT_EQ(ack.chkt, c.initCheck);
    EXPECT_EQ(Params::decode(ack.data).chkt, c.offer);
    peer.exchange(1, 'F', "checked", c.dataCheck);
    peer.exchange(2, 'D', "some data", c.dataCheck);
    peer.exchange(3, 'Z', "", c.dataCheck);
    peer.exchange(4, 'B', "", c.dataCheck);
    EXPECT_EQ(script.result(), 1);
    EXPECT_EQ(transfer_test::readFile(script.dst.file("checked")),
              std::vector<uint8_t>({'s', 'o', 'm', 'e', ' ', 'd', 'a', 't', 'a'}));
}

INSTANTIATE_TEST_SUITE_P(Offers, KermitReceiverCheck, ::testing::ValuesIn(checkOfferCases),
                         [](const ::testing::TestParamInfo<CheckOfferCase>& info) {
                             return rowName(std::string("offer_") + std::to_string(info.param.offer));
                         });

// Our sender uses the type the receiver answers with when it matches its offer, else type 1; a
// receiver that NAKs the S with a type-3 check gets the S again under a forced type 3.
struct AnswerCase {
    const char* name;
    bool nakForced;
    int answer, answerCheck, wantInitCheck, wantDataCheck;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

const AnswerCase answerCases[] = {
    {"agrees", false, 3, 1, 1, 3},
    {"answers type 1", false, 1, 1, 1, 1},
    {"answers another type", false, 2, 1, 1, 1},
    {"forces type 3", true, CheckForced3, 3, 3, 3},
};

class KermitSenderCheck : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(KermitSenderCheck, FollowsTheReceiversAnswer) {
    const AnswerCase& c = GetParam();
    ScratchDir src;
    transfer_test::writeFile(src.file("f"), {'x', 'y'});
    MemoryChannelPair line;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, quick());
        return kermitSend(ctx, {src.file("f")});
    });
    PacketPeer peer(line.b());
    Packet p = peer.read(CheckInit);
    ASSERT_EQ(p.type, 'S');
    EXPECT_EQ(p.chkt, 1);
    if (c.nakForced) {
        peer.send(0, 'N', "", 3);
        p = peer.read(CheckInit);
        ASSERT_EQ(p.type, 'S');
    }
    EXPECT_EQ(p.chkt, c.wantInitCheck);
    peer.send(0, 'Y', peer.sendInit(c.answer), c.answerCheck);
    for (int seq = 1; seq <= 5; ++seq) {
        p = peer.read(c.wantDataCheck);
        ASSERT_EQ(p.status, ReadStatus::Ok) << seq;
        EXPECT_EQ(p.seq, seq);
        peer.send(seq, 'Y', "", c.wantDataCheck);
        if (p.type == 'B')
            break;
    }
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, KermitSenderCheck, ::testing::ValuesIn(answerCases),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) {
                             return rowName(info.param.name);
                         });

// The previous packet's ACK once more means the packet came damaged: it goes again at once, not
// after the response wait.
TEST(KermitSession, RepeatedAckOfThePreviousPacketResendsAtOnce) {
    using namespace kermit;
    ScratchDir src;
    transfer_test::writeFile(src.file("f"), transfer_test::testData(300));
    MemoryChannelPair line;
    TransferTimings slow = quick();
    slow.responseWait = 2s;
    slow.retries = 2;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, slow);
        return kermitSend(ctx, {src.file("f")});
    });
    PacketPeer peer(line.b());
    Packet p = peer.read(CheckInit);
    peer.send(0, 'Y', peer.sendInit(3), 1);
    int damaged = 0;
    std::vector<uint8_t> last;
    for (int seq = 1;;) {
        p = peer.read(3, 1s);
        ASSERT_EQ(p.status, ReadStatus::Ok);
        if (p.type == 'D' && damaged < 3 && p.seq == seq) {
            // Say "damaged" three times over, each answered within a packet time.
            ++damaged;
            const auto t0 = Clock::now();
            peer.send(seq - 1, 'Y', "", 3);
            const Packet again = peer.read(3, 1s);
            ASSERT_EQ(again.status, ReadStatus::Ok);
            EXPECT_LT(Clock::now() - t0, 100ms);
            EXPECT_EQ(again.seq, seq);
            EXPECT_EQ(again.data, p.data);
        }
        peer.send(p.seq, 'Y', "", 3);
        if (p.type == 'B')
            break;
        seq = (p.seq + 1) & 63;
    }
    EXPECT_EQ(damaged, 3);
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
}

// A burst of damaged packets, many more than the retry count, costs NAKs and not the transfer.
TEST(KermitSession, DamagedPacketsKeepTheReceiverGoing) {
    using namespace kermit;
    ScriptedSend script;
    auto& peer = script.peer;
    script.begin("burst");
    const int retries = quick().retries;
    for (int i = 0; i < retries * 3; ++i) {
        auto wire = encodePacket(2, 'D', {'a', 'b', 'c'}, 3, peer.agreed);
        wire[5] ^= 0x02;
        peer.ctx.write(wire);
        const Packet nak = peer.read(3);
        ASSERT_EQ(nak.status, ReadStatus::Ok);
        EXPECT_EQ(nak.type, 'N');
        EXPECT_EQ(nak.seq, 2);
    }
    peer.exchange(2, 'D', "abc", 3);
    peer.exchange(3, 'Z', "", 3);
    peer.exchange(4, 'B', "", 3);
    EXPECT_EQ(script.result(), 1);
    EXPECT_EQ(transfer_test::readFile(script.dst.file("burst")), std::vector<uint8_t>({'a', 'b', 'c'}));
}

// A file the sender calls text arrives with CR LF line ends (also split across packets) and is
// stored with LF, as its user had it; a binary one keeps every byte. Progress never passes its total.
struct LineEndCase {
    const char* type;
    std::string want;
};

void PrintTo(const LineEndCase& c, std::ostream* os) {
    *os << c.type;
}

const LineEndCase lineEndCases[] = {LineEndCase{"AMJ", "one\ntwo\nlone\rcr\nend\r"},
                                    LineEndCase{"B8", "one\r\ntwo\r\nlone\rcr\r\nend\r"}};

class KermitFileType : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(KermitFileType, TextFilesGetTheSendersLineEnds) {
    const LineEndCase& c = GetParam();
    const std::vector<std::string> packets = {"one\r", "\ntwo\r\nlone\rcr\r\n", "end\r"};
    transfer_test::ProgressLog log;
    ScriptedSend script(log.callback());
    auto& peer = script.peer;
    script.begin("lines");
    // The size the sender's file has on its disk, with LF line ends.
    const std::string type(c.type);
    peer.exchange(
        2, 'A', std::string("\"") + char(tochar(int(type.size()))) + type + "1" + char(tochar(2)) + "20", 3);
    int seq = 3;
    Codec codec('#', 0, 0);
    for (const auto& text : packets) {
        std::vector<uint8_t> enc;
        size_t pos = 0;
        codec.encode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &pos, 90, enc);
        peer.exchange(seq++, 'D', std::string(enc.begin(), enc.end()), 3);
    }
    peer.exchange(seq++, 'Z', "", 3);
    peer.exchange(seq, 'B', "", 3);
    EXPECT_EQ(script.result(), 1);
    const auto got = transfer_test::readFile(script.dst.file("lines"));
    EXPECT_EQ(std::string(got.begin(), got.end()), c.want);
    std::lock_guard lock(log.mutex);
    ASSERT_FALSE(log.calls.empty());
    for (const auto& [done, total] : log.calls)
        EXPECT_LE(done, std::max(total, 0));
    EXPECT_EQ(log.calls.back().first, int(c.want.size()));
}

INSTANTIATE_TEST_SUITE_P(Types, KermitFileType, ::testing::ValuesIn(lineEndCases),
                         [](const ::testing::TestParamInfo<LineEndCase>& info) {
                             return rowName(info.param.type);
                         });

// With a window, packets that come out of order are held and acknowledged at once, the missing ones
// asked for once each, and the file is written in order.
TEST(KermitSession, WindowedReceiverHoldsPacketsThatComeOutOfOrder) {
    using namespace kermit;
    ScriptedSend script;
    auto& peer = script.peer;
    script.begin("ordered", 8);
    EXPECT_EQ(Params::decode(script.ack.data).window, 8);
    struct Step {
        int seq;
        std::vector<std::pair<uint8_t, int>> answers;
    };
    const Step steps[] = {
        {3, {{'N', 2}, {'Y', 3}}}, {4, {{'Y', 4}}}, {2, {{'Y', 2}}}, {6, {{'N', 5}, {'Y', 6}}},
        {7, {{'Y', 7}}},           {5, {{'Y', 5}}}, {5, {{'Y', 5}}}, // a repeat of one it has: answered again
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.seq);
        peer.send(step.seq, 'D', "p" + std::to_string(step.seq), 3);
        for (const auto& [type, seq] : step.answers) {
            const Packet p = peer.read(3);
            ASSERT_EQ(p.status, ReadStatus::Ok);
            EXPECT_EQ(p.type, type);
            EXPECT_EQ(p.seq, seq);
        }
    }
    peer.exchange(8, 'Z', "", 3);
    peer.exchange(9, 'B', "", 3);
    EXPECT_EQ(script.result(), 1);
    const auto got = transfer_test::readFile(script.dst.file("ordered"));
    EXPECT_EQ(std::string(got.begin(), got.end()), "p2p3p4p5p6p7");
}

// The sender keeps up to the receiver's window in flight, no more, and a NAK resends just the
// packet it names, unchanged.
TEST(KermitSession, WindowedSenderResendsOnlyWhatIsAskedFor) {
    using namespace kermit;
    ScratchDir src;
    const auto data = transfer_test::testData(3000, 8);
    transfer_test::writeFile(src.file("w"), data);
    MemoryChannelPair line;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, quick());
        return kermitSend(ctx, {src.file("w")});
    });
    PacketPeer peer(line.b());
    Packet p = peer.read(CheckInit);
    ASSERT_EQ(p.type, 'S');
    EXPECT_EQ(Params::decode(p.data).window, 31);
    peer.send(0, 'Y', peer.sendInit(3, 4), 1);
    p = peer.read(3);
    ASSERT_EQ(p.type, 'F');
    peer.send(1, 'Y', "", 3);
    std::vector<Packet> window;
    for (int i = 0; i < 4; ++i) {
        window.push_back(peer.read(3));
        ASSERT_EQ(window.back().type, 'D');
        EXPECT_EQ(window.back().seq, 2 + i);
    }
    EXPECT_EQ(peer.read(3, 50ms).status, ReadStatus::Timeout); // the window is full
    peer.send(3, 'N', "", 3);
    p = peer.read(3);
    EXPECT_EQ(p.seq, 3);
    EXPECT_EQ(p.data, window[1].data);
    // Acknowledged out of order, the window moves only when its oldest packet is in. A later ACK
    // first says the oldest one's went missing: that packet goes again, once.
    for (int seq : {5, 4, 3})
        peer.send(seq, 'Y', "", 3);
    p = peer.read(3);
    EXPECT_EQ(p.seq, 2);
    EXPECT_EQ(p.data, window[0].data);
    EXPECT_EQ(peer.read(3, 50ms).status, ReadStatus::Timeout);
    peer.send(2, 'Y', "", 3);
    Codec codec('#', 0, 0);
    std::vector<uint8_t> got, part;
    for (const auto& w : window) {
        ASSERT_TRUE(codec.decode(w.data, part));
        got.insert(got.end(), part.begin(), part.end());
    }
    for (;;) {
        p = peer.read(3);
        ASSERT_EQ(p.status, ReadStatus::Ok);
        peer.send(p.seq, 'Y', "", 3);
        if (p.type == 'B')
            break;
        if (p.type == 'D') {
            ASSERT_TRUE(codec.decode(p.data, part));
            got.insert(got.end(), part.begin(), part.end());
        }
    }
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
    EXPECT_EQ(got, data);
}

// A sender whose F packet names a path outside the folder: the file lands inside, under a plain name.
class KermitHostileName : public testing::TestWithParam<const char*> {};

TEST_P(KermitHostileName, StaysInsideTheReceiveFolder) {
    const char* name = GetParam();
    using namespace kermit;
    ScratchDir outer;
    const std::string folder = outer.file("in");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    MemoryChannelPair line;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, quick());
        Agreement a;
        const std::string nm(name);
        const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> script = {
            {'S', Params().encode()},
            {'F', std::vector<uint8_t>(nm.begin(), nm.end())},
            {'D', {'h', 'i'}},
            {'Z', {}},
            {'B', {}},
        };
        for (size_t seq = 0; seq < script.size(); ++seq) {
            ctx.write(encodePacket(int(seq), script[seq].first, script[seq].second, 1, a));
            const Packet p = readPacket(ctx, 1, Clock::now() + 1s, false);
            if (p.status != ReadStatus::Ok || p.type != 'Y' || p.seq != int(seq))
                return -1;
        }
        return 0;
    });
    ReceiveFolder rf(folder);
    FolderFiles files(rf);
    TransferContext ctx(line.b(), nullptr, {}, quick());
    EXPECT_EQ(kermitReceive(ctx, files), 1);
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
    EXPECT_EQ(outer.names(), std::vector<std::string>{"in"});
    ASSERT_EQ(files.completed().size(), 1u);
    EXPECT_EQ(std::filesystem::path(files.completed()[0]).parent_path(), std::filesystem::path(folder));
}

INSTANTIATE_TEST_SUITE_P(Names, KermitHostileName,
                         testing::Values("../../evil", "/tmp/evil", "..\\..\\evil", "a/b/evil"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return "name_" + std::to_string(info.index) + "_" +
                                    transfer_test::rowName(info.param);
                         });

} // namespace

namespace {

// A windowed receiver that answers each D packet by a rule of its own. With windows only an ACK
// acknowledges: however the NAKs come, the Z goes out only when every D packet was acknowledged,
// and a receiver that never acknowledges them all makes the send fail, not succeed.
struct WindowAnswer {
    std::string name;
    // The answers to a copy of D packet seq (copy counts from 1); last is the highest D seen.
    std::function<std::vector<std::pair<uint8_t, int>>(int seq, int copy, int last)> answer;
    bool delivers; // the receiver acknowledges every packet in the end
};

void PrintTo(const WindowAnswer& c, std::ostream* os) {
    *os << c.name;
}

std::vector<WindowAnswer> windowAnswers() {
    using A = std::vector<std::pair<uint8_t, int>>;
    constexpr int kOldest = 3; // the first D packet (S, F and A come before)
    return {
        // A NAK for the packet after the window: the receiver waits for more.
        {"nak_after_the_window",
         [](int, int, int last) {
             return A{{'N', (last + 1) & 63}};
         },
         false},
        {"nak_for_each_packet",
         [](int seq, int, int) {
             return A{{'N', seq}};
         },
         false},
        {"every_packet_but_the_oldest",
         [](int seq, int, int last) {
             return seq == kOldest ? A{{'N', seq}, {'N', (last + 1) & 63}} : A{{'Y', seq}};
         },
         false},
        {"oldest_on_its_third_copy",
         [](int seq, int copy, int last) {
             return seq == kOldest && copy < 3 ? A{{'N', (last + 1) & 63}} : A{{'Y', seq}};
         },
         true},
    };
}

class KermitWindowedAnswers : public testing::TestWithParam<WindowAnswer> {};

TEST_P(KermitWindowedAnswers, OnlyAnAckAcknowledges) {
    using namespace kermit;
    const WindowAnswer& c = GetParam();
    ScratchDir src;
    transfer_test::writeFile(src.file("w"), transfer_test::testData(3000, 12));
    MemoryChannelPair line;
    TransferTimings t = quick();
    t.responseWait = 50ms;
    t.retries = 4;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, t);
        return kermitSend(ctx, {src.file("w")});
    });
    PacketPeer peer(line.b());
    Packet p = peer.read(CheckInit);
    ASSERT_EQ(p.type, 'S');
    peer.send(0, 'Y', peer.sendInit(3, 8), 1);
    std::map<int, int> copies;
    std::set<int> acked;
    bool sawZ = false, sawB = false, sawE = false;
    int last = 0;
    const auto until = Clock::now() + 10s;
    while (Clock::now() < until && !sawE && !sawB) {
        p = peer.read(3, 300ms);
        if (p.status == ReadStatus::Timeout && transfer_test::ready(tx, 0ms))
            break;
        if (p.status != ReadStatus::Ok)
            continue;
        if (p.type == 'D') {
            last = std::max(last, p.seq);
            for (const auto& [type, seq] : c.answer(p.seq, ++copies[p.seq], last)) {
                peer.send(seq, type, "", 3);
                if (type == 'Y')
                    acked.insert(seq);
            }
            continue;
        }
        sawE = p.type == 'E';
        sawB = p.type == 'B';
        if (p.type == 'Z') {
            sawZ = true;
            for (const auto& [seq, n] : copies)
                EXPECT_TRUE(acked.count(seq)) << "Z before D packet " << seq << " was acknowledged";
        }
        if (!sawE)
            peer.send(p.seq, 'Y', "", 3);
    }
    ASSERT_TRUE(transfer_test::ready(tx));
    const int rc = tx.get();
    EXPECT_GE(copies.size(), 8u); // a whole window went out
    if (c.delivers) {
        EXPECT_EQ(rc, 0);
        EXPECT_TRUE(sawZ);
        EXPECT_TRUE(sawB);
    } else {
        EXPECT_EQ(rc, TransferErrProtocol);
        EXPECT_FALSE(sawZ);
        EXPECT_FALSE(sawB);
        EXPECT_TRUE(sawE);
    }
}

INSTANTIATE_TEST_SUITE_P(Receivers, KermitWindowedAnswers, testing::ValuesIn(windowAnswers()),
                         [](const testing::TestParamInfo<WindowAnswer>& info) { return info.param.name; });

// A file that shrinks or grows while it is sent fails the send with -5; the receiver is told (it
// ends with the peer's cancel), keeps no file, and never gets a byte past the announced size.
struct ChangingFile {
    std::string name;
    int window;
    bool grow;
};

void PrintTo(const ChangingFile& c, std::ostream* os) {
    *os << c.name;
}

class KermitChangingFile : public testing::TestWithParam<ChangingFile> {};

TEST_P(KermitChangingFile, FailsAndTellsTheReceiver) {
    const ChangingFile& c = GetParam();
    ScratchDir src, dst;
    const auto data = transfer_test::testData(20000, 13);
    const std::string path = src.file("log.txt");
    transfer_test::writeFile(path, data);
    MemoryChannelPair line;
    ReceiveFolder rf(dst.path());
    FolderFiles files(rf);
    std::atomic<int> mostReceived{0};
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(
            line.b(), nullptr,
            [&](int done, int, int, int) {
                mostReceived = std::max(mostReceived.load(), done);
                return 0;
            },
            quick());
        return kermitReceive(ctx, files);
    });
    bool changed = false;
    TransferContext ctx(
        line.a(), nullptr,
        [&](int done, int, int, int) {
            if (!changed && size_t(done) >= data.size() / 2) {
                changed = true;
                if (c.grow)
                    std::ofstream(path, std::ios::app | std::ios::binary) << std::string(728, 'x');
                else
                    std::filesystem::resize_file(path, data.size() / 4);
            }
            return 0;
        },
        quick());
    KermitOptions o;
    o.window = c.window;
    EXPECT_EQ(kermitSend(ctx, {path}, o), TransferErrFile);
    ASSERT_TRUE(transfer_test::ready(rx));
    EXPECT_EQ(rx.get(), TransferErrRemoteAbort);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(dst.names().empty());
    EXPECT_LE(size_t(mostReceived.load()), data.size());
}

INSTANTIATE_TEST_SUITE_P(Changes, KermitChangingFile,
                         testing::Values(ChangingFile{"shrinks_stop_and_wait", 1, false},
                                         ChangingFile{"grows_stop_and_wait", 1, true},
                                         ChangingFile{"shrinks_with_windows", 31, false},
                                         ChangingFile{"grows_with_windows", 31, true}),
                         [](const testing::TestParamInfo<ChangingFile>& info) { return info.param.name; });

// A name all in capitals, as senders put names into the protocol's common form, is stored in lower
// case; a name with any small letter keeps its case.
struct ReceivedName {
    const char* sent;
    const char* stored;
};

void PrintTo(const ReceivedName& c, std::ostream* os) {
    *os << c.sent;
}

class KermitReceivedName : public testing::TestWithParam<ReceivedName> {};

TEST_P(KermitReceivedName, CommonFormBecomesLowerCase) {
    const ReceivedName& c = GetParam();
    ScriptedSend script;
    script.begin(c.sent);
    script.peer.exchange(2, 'D', "hi", 3);
    script.peer.exchange(3, 'Z', "", 3);
    script.peer.exchange(4, 'B', "", 3);
    EXPECT_EQ(script.result(), 1);
    EXPECT_EQ(script.dst.names(), std::vector<std::string>{c.stored});
}

INSTANTIATE_TEST_SUITE_P(
    Names, KermitReceivedName,
    testing::Values(ReceivedName{"MY_FILE.TXT", "my_file.txt"}, ReceivedName{"README", "readme"},
                    ReceivedName{"My_File.TXT", "My_File.TXT"}, ReceivedName{"data.bin", "data.bin"},
                    ReceivedName{"2024-01.LOG", "2024-01.log"}),
    [](const testing::TestParamInfo<ReceivedName>& info) { return transfer_test::rowName(info.param.sent); });

} // namespace

namespace {

// A file the receiver refuses (N in the ACK to its attributes) or stops (X in an ACK to its data)
// is given up with a discarding Z, and the send does not report a success.
class KermitRefusedFile : public testing::TestWithParam<const char*> {};

TEST_P(KermitRefusedFile, IsNoSuccess) {
    using namespace kermit;
    const std::string how = GetParam();
    ScratchDir src;
    transfer_test::writeFile(src.file("r"), transfer_test::testData(2000, 14));
    MemoryChannelPair line;
    auto tx = transfer_test::runAsync([&] {
        TransferContext ctx(line.a(), nullptr, {}, quick());
        return kermitSend(ctx, {src.file("r")});
    });
    PacketPeer peer(line.b());
    Packet p = peer.read(CheckInit);
    ASSERT_EQ(p.type, 'S');
    Params answer;
    answer.chkt = 3;
    answer.attributes = true;
    const auto init = answer.encode();
    peer.send(0, 'Y', std::string(init.begin(), init.end()), 1);
    bool discarded = false, sawAttributes = false;
    for (;;) {
        p = peer.read(3);
        ASSERT_EQ(p.status, ReadStatus::Ok);
        std::string answer;
        if ((p.type == 'A' && how == "attributes") || (p.type == 'D' && how == "data"))
            answer = p.type == 'A' ? "N" : "X";
        sawAttributes = sawAttributes || p.type == 'A';
        if (p.type == 'Z')
            discarded = p.data == std::vector<uint8_t>{'D'};
        peer.send(p.seq, 'Y', answer, 3);
        if (p.type == 'B')
            break;
    }
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), TransferErrRemoteAbort);
    EXPECT_TRUE(discarded);
    EXPECT_TRUE(sawAttributes);
}

INSTANTIATE_TEST_SUITE_P(Answers, KermitRefusedFile, testing::Values("attributes", "data"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace
