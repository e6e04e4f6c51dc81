#include "kermit_packet.h"
#include "kermit_session.h"
#include "memory_channel.h"
#include "seriallib.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;

TransferTimings quick() {
    TransferTimings t;
    t.startWait = 3s;
    t.startInterval = 300ms;
    t.startTries = 10;
    t.responseWait = 100ms;
    t.blockWait = 300ms;
    t.retries = 30;
    return t;
}

struct Outcome {
    int sent = 0;
    int received = 0;
};

Outcome transfer(MemoryChannelPair& line, const std::vector<std::string>& paths, const std::string& folder,
                 const KermitOptions& senderOptions = {}, const KermitOptions& receiverOptions = {}) {
    ReceiveFolder rf(folder);
    FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        return kermitReceive(ctx, files, receiverOptions);
    });
    TransferContext ctx(line.a(), nullptr, {}, quick());
    const int sent = kermitSend(ctx, paths, senderOptions);
    EXPECT_TRUE(transfer_test::ready(rx));
    return {sent, rx.get()};
}

TEST(KermitSession, FilesOfEverySizeArriveIdentical) {
    for (int longPacket : {0, 4000}) {
        for (size_t size : {size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(8192 + 3),
                            size_t(65536)}) {
            SCOPED_TRACE(std::to_string(longPacket) + "/" + std::to_string(size));
            ScratchDir src, dst;
            const auto data = transfer_test::testData(size, uint32_t(size));
            transfer_test::writeFile(src.file("Mixed.Case"), data);
            MemoryChannelPair line;
            KermitOptions o;
            o.longPacket = longPacket;
            const auto r = transfer(line, {src.file("Mixed.Case")}, dst.path(), o, o);
            EXPECT_EQ(r.sent, 0);
            EXPECT_EQ(r.received, 1);
            EXPECT_EQ(dst.names(), std::vector<std::string>{"Mixed.Case"});
            EXPECT_EQ(transfer_test::readFile(dst.file("Mixed.Case")), data);
        }
    }
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
    const auto r = transfer(line, paths, dst.path(), o, o);
    EXPECT_EQ(r.sent, 0);
    EXPECT_EQ(r.received, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(transfer_test::readFile(dst.file("file" + std::to_string(i))),
                  transfer_test::readFile(paths[size_t(i)]));
}

TEST(KermitSession, NoiseAndLossAreRepairedByNakAndRetry) {
    struct Case {
        const char* name;
        LineFaults forward, back;
    };
    LineFaults noise;
    noise.fault = [](uint64_t i, uint8_t& b) {
        if ((i > 20000 && i < 20040) || (i > 41000 && i < 41010))
            b ^= 0x21;
        return true;
    };
    LineFaults loss;
    loss.fault = [](uint64_t i, uint8_t&) { return !(i > 9000 && i < 9100) && i != 30001; };
    LineFaults random;
    random.corrupt = 0.0002;
    random.drop = 0.0002;
    random.seed = 42;
    LineFaults backNoise;
    backNoise.corrupt = 0.01;
    backNoise.drop = 0.005;
    backNoise.seed = 5;
    const Case cases[] = {
        {"noise bursts", noise, {}},
        {"dropped bytes", loss, {}},
        {"random faults both ways", random, backNoise},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir src, dst;
        const auto data = transfer_test::testData(65536, 3);
        transfer_test::writeFile(src.file("noisy"), data);
        MemoryChannelPair line(c.forward, c.back);
        const auto r = transfer(line, {src.file("noisy")}, dst.path());
        EXPECT_EQ(r.sent, 0);
        EXPECT_EQ(r.received, 1);
        EXPECT_EQ(transfer_test::readFile(dst.file("noisy")), data);
    }
}

TEST(KermitSession, PeerGivingUpSendsAnErrorPacketAndLeavesNoFile) {
    ScratchDir src, dst;
    transfer_test::writeFile(src.file("big"), transfer_test::testData(200000));
    int blocks = 0;
    TransferProgressCallback giveUp = [&](int, int, int, int) { return ++blocks > 10 ? -1 : 0; };
    MemoryChannelPair line;
    ReceiveFolder rf(dst.path());
    FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        return kermitReceive(ctx, files);
    });
    TransferContext ctx(line.a(), nullptr, giveUp, quick());
    EXPECT_EQ(kermitSend(ctx, {src.file("big")}), TransferErrUserAbort);
    ASSERT_TRUE(transfer_test::ready(rx));
    EXPECT_EQ(rx.get(), TransferErrRemoteAbort);
    EXPECT_TRUE(dst.names().empty());
}

TEST(KermitSession, AbortFromAnotherThreadEndsPromptlyAndThePeerHearsIt) {
    for (bool abortReceiver : {false, true}) {
        SCOPED_TRACE(abortReceiver);
        ScratchDir src, dst;
        transfer_test::writeFile(src.file("big"), transfer_test::testData(400000));
        LineFaults slow;
        slow.delay = 2ms;
        MemoryChannelPair line(slow, slow);
        PortAbort abort;
        std::atomic<bool> started{false};
        // The aborting side holds still at its first block until the abort has been asked for, so
        // that the abort always lands mid-transfer.
        TransferProgressCallback hold = [&](int done, int, int, int) {
            if (done > 0 && !started.exchange(true)) {
                while (!abort.transmit && !abort.receive)
                    std::this_thread::yield();
            }
            return 0;
        };
        ReceiveFolder rf(dst.path());
        FolderFiles files(rf);
        auto rx = transfer_test::runAsync([&] {
            TransferContext ctx(line.b(), abortReceiver ? &abort : nullptr, abortReceiver ? hold : nullptr,
                                quick());
            return kermitReceive(ctx, files);
        });
        auto tx = transfer_test::runAsync([&] {
            TransferContext ctx(line.a(), abortReceiver ? nullptr : &abort, abortReceiver ? nullptr : hold,
                                quick());
            return kermitSend(ctx, {src.file("big")});
        });
        while (!started)
            std::this_thread::yield();
        const auto t0 = Clock::now();
        (abortReceiver ? abort.receive : abort.transmit) = true;
        auto& mine = abortReceiver ? rx : tx;
        ASSERT_TRUE(transfer_test::ready(mine, 1s));
        EXPECT_LT(Clock::now() - t0, 200ms);
        EXPECT_EQ(mine.get(), TransferErrAborted);
        auto& peer = abortReceiver ? tx : rx;
        ASSERT_TRUE(transfer_test::ready(peer, 5s));
        EXPECT_EQ(peer.get(), TransferErrRemoteAbort);
        EXPECT_TRUE(dst.names().empty());
    }
}

// A sender whose F packet names a path outside the folder: the file lands inside, under a plain name.
TEST(KermitSession, HostileNamesStayInsideTheReceiveFolder) {
    using namespace kermit;
    for (const char* name : {"../../evil", "/tmp/evil", "..\\..\\evil", "a/b/evil"}) {
        SCOPED_TRACE(name);
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
}

} // namespace
