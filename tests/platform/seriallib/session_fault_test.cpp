// The faults every batch protocol must survive the same way: a user who gives up mid-file, an abort
// from another thread. One typed test over ZMODEM and Kermit.
#include "kermit_session.h"
#include "memory_channel.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_test_support.h"
#include "zmodem_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;

TransferTimings quickTimings(milliseconds responseWait, int retries) {
    TransferTimings t;
    t.startWait = 3s;
    t.startInterval = 300ms;
    t.startTries = 10;
    t.responseWait = responseWait;
    t.blockWait = 300ms;
    t.retries = retries;
    return t;
}

struct Zmodem {
    static constexpr int giveUpAfter = 20; // progress calls before the sender's user gives up
    static TransferTimings timings() { return quickTimings(300ms, 20); }
    static int send(TransferContext& ctx, const std::vector<std::string>& paths) {
        return zmodemSend(ctx, paths);
    }
    static int receive(TransferContext& ctx, IncomingFiles& files) { return zmodemReceive(ctx, files); }
};

struct Kermit {
    static constexpr int giveUpAfter = 10;
    static TransferTimings timings() {
        TransferTimings t = quickTimings(100ms, 30);
        t.byteGap = 30ms;
        return t;
    }
    static int send(TransferContext& ctx, const std::vector<std::string>& paths) {
        return kermitSend(ctx, paths);
    }
    static int receive(TransferContext& ctx, IncomingFiles& files) { return kermitReceive(ctx, files); }
};

template <typename Protocol>
class SessionFault : public testing::Test {};

struct ProtocolNames {
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, Zmodem> ? "Zmodem" : "Kermit";
    }
};

using Protocols = testing::Types<Zmodem, Kermit>;
TYPED_TEST_SUITE(SessionFault, Protocols, ProtocolNames);

// The sender's user gives up after a few blocks: the receiver hears it and keeps no partial file.
TYPED_TEST(SessionFault, PeerGivingUpIsHeardAndLeavesNoFile) {
    ScratchDir src, dst;
    transfer_test::writeFile(src.file("big"), transfer_test::testData(200000));
    int blocks = 0;
    TransferProgressCallback giveUp = [&](int, int, int, int) {
        return ++blocks > TypeParam::giveUpAfter ? -1 : 0;
    };
    MemoryChannelPair line;
    ReceiveFolder rf(dst.path());
    FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, TypeParam::timings());
        return TypeParam::receive(ctx, files);
    });
    TransferContext ctx(line.a(), nullptr, giveUp, TypeParam::timings());
    EXPECT_EQ(TypeParam::send(ctx, {src.file("big")}), TransferErrUserAbort);
    ASSERT_TRUE(transfer_test::ready(rx));
    EXPECT_EQ(rx.get(), TransferErrRemoteAbort);
    EXPECT_TRUE(dst.names().empty());
}

TYPED_TEST(SessionFault, AbortFromAnotherThreadEndsPromptlyAndThePeerHearsIt) {
    for (bool abortReceiver : {false, true}) {
        SCOPED_TRACE(abortReceiver);
        ScratchDir src, dst;
        transfer_test::writeFile(src.file("big"), transfer_test::testData(400000));
        // A slow line, so that the transfer is still running when the abort comes.
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
                                TypeParam::timings());
            return TypeParam::receive(ctx, files);
        });
        auto tx = transfer_test::runAsync([&] {
            TransferContext ctx(line.a(), abortReceiver ? nullptr : &abort, abortReceiver ? nullptr : hold,
                                TypeParam::timings());
            return TypeParam::send(ctx, {src.file("big")});
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

} // namespace
