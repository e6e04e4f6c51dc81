#include "memory_channel.h"
#include "transfer_context.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ready;
using transfer_test::runAsync;

namespace {

TEST(TransferContext, ReadReturnsBufferedBytesAndTimesOut) {
    MemoryChannelPair line;
    TransferContext ctx(line.a(), nullptr, {});
    const uint8_t hello[] = {'h', 'i', '!'};
    line.b().write(hello, 3, Clock::now());
    EXPECT_EQ(ctx.readByte(ctx.after(100ms)), 'h');
    uint8_t two[2] = {};
    EXPECT_EQ(ctx.readExact(two, 2, 100ms), 2);
    EXPECT_EQ(two[1], '!');
    auto start = Clock::now();
    EXPECT_EQ(ctx.readByte(ctx.after(60ms)), ReadTimedOut);
    EXPECT_GE(Clock::now() - start, 60ms);
    EXPECT_EQ(ctx.stats().bytesIn, 3u);
}

TEST(TransferContext, ReadExactTimesOutOnAGap) {
    MemoryChannelPair line;
    TransferContext ctx(line.a(), nullptr, {});
    const uint8_t one = 1;
    line.b().write(&one, 1, Clock::now());
    uint8_t buf[2];
    EXPECT_EQ(ctx.readExact(buf, 2, 50ms), ReadTimedOut);
}

TEST(TransferContext, ClosedLineIsNotOpen) {
    MemoryChannelPair line;
    TransferContext ctx(line.a(), nullptr, {});
    line.close();
    EXPECT_EQ(ctx.readByte(ctx.after(1s)), TransferErrNotOpen);
    const uint8_t b = 0;
    EXPECT_EQ(ctx.write(&b, 1), TransferErrNotOpen);
}

// Both stop paths end a long wait promptly, whichever flag is raised.
TEST(TransferContext, StopFromAnotherThreadEndsAWaitPromptly) {
    enum Source { TransmitFlag, ReceiveFlag, Callback };
    struct Case {
        const char* what;
        Source source;
        int expected;
    };
    for (Case c : {Case{"transmit flag", TransmitFlag, TransferErrAborted},
                   Case{"receive flag", ReceiveFlag, TransferErrAborted},
                   Case{"callback", Callback, TransferErrUserAbort}}) {
        SCOPED_TRACE(c.what);
        MemoryChannelPair line;
        PortAbort abort;
        std::atomic<bool> stopByCallback{false};
        std::atomic<bool> waitBegun{false};
        std::atomic<std::thread::id> callbackThread{};
        TransferContext ctx(line.a(), &abort, [&](int, int, int, int) {
            callbackThread = std::this_thread::get_id();
            waitBegun = true;
            return stopByCallback ? -1 : 0;
        });
        auto waiting = runAsync([&] {
            int r = ctx.readByte(ctx.after(30s));
            return std::make_pair(r, Clock::now());
        });
        while (!waitBegun)
            std::this_thread::yield();
        auto asked = Clock::now();
        if (c.source == TransmitFlag)
            abort.transmit = true;
        else if (c.source == ReceiveFlag)
            abort.receive = true;
        else
            stopByCallback = true;
        ASSERT_TRUE(ready(waiting, 2s));
        auto [result, when] = waiting.get();
        EXPECT_EQ(result, c.expected);
        EXPECT_LT(when - asked, 200ms);
        EXPECT_NE(callbackThread.load(), std::this_thread::get_id());
        // The stop is sticky: nothing goes on after it.
        EXPECT_EQ(ctx.stopCode(), c.expected);
        const uint8_t b = 0;
        EXPECT_EQ(ctx.write(&b, 1), c.expected);
    }
}

TEST(TransferContext, ProgressPassesDoneAndTotalAndHonoursMinusOne) {
    MemoryChannelPair line;
    std::vector<std::pair<int, int>> seen;
    TransferContext ctx(line.a(), nullptr, [&](int done, int, int, int total) {
        seen.emplace_back(done, total);
        return done >= 200 ? -1 : 0;
    });
    EXPECT_EQ(ctx.progress(100, 300), 0);
    EXPECT_EQ(ctx.progress(200, 300), TransferErrUserAbort);
    EXPECT_EQ(ctx.progress(300, 300), TransferErrUserAbort);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(100, 300));
    EXPECT_EQ(seen[1], std::make_pair(200, 300));
}

TEST(TransferContext, CancelIsSentEvenAfterAStop) {
    MemoryChannelPair line;
    PortAbort abort;
    abort.receive = true;
    TransferContext ctx(line.a(), &abort, {});
    const uint8_t cancel[] = {0x18, 0x18};
    ctx.sendCancel(cancel, 2);
    uint8_t got[4] = {};
    EXPECT_EQ(line.b().read(got, 4, Clock::now() + 100ms), 2);
    EXPECT_EQ(got[0], 0x18);
}

TEST(TransferContext, WaitQuietDrainsANoisyLineUntilItIsSilent) {
    MemoryChannelPair line;
    TransferContext ctx(line.a(), nullptr, {});
    std::atomic<bool> noiseOver{false};
    const uint8_t junk[] = {1, 2, 3};
    line.b().write(junk, 3, Clock::now());
    auto noise = runAsync([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(15ms); // the noise's own rhythm
            line.b().write(junk, 3, Clock::now());
        }
        noiseOver = true;
    });
    EXPECT_EQ(ctx.waitQuiet(100ms, ctx.after(5s)), 0);
    EXPECT_TRUE(noiseOver);
    noise.wait();
    const uint8_t mark = 9;
    line.b().write(&mark, 1, Clock::now());
    EXPECT_EQ(ctx.readByte(ctx.after(100ms)), 9);
}

} // namespace
