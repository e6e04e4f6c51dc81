#include "port_fixture.h"

#include <algorithm>
#include <atomic>
#include <vector>

using namespace porttest;

TEST_F(PortTest, ReadReturnsAtOnceWithMinusOne) {
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, -1, 0), 0);
    auto start = Clock::now();
    EXPECT_EQ(readPort(128), "");
    EXPECT_LT(msSince(start), 20);
    put(pty.master(), "typed");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 5; }));
    EXPECT_EQ(readPort(128), "typed");
}

TEST_F(PortTest, ReadWaitsForTheFirstByteThenCollects) {
    open();
    // Collecting may last a second: a read that ends sooner ended at a quiet gap or a full buffer.
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 50, 1000), 0);
    auto start = Clock::now();
    EXPECT_EQ(readPort(1024), "");
    long ms = msSince(start);
    EXPECT_GE(ms, 50);
    EXPECT_LT(ms, 900);

    // At 110 baud the line is quiet after 273 ms. "ab" waits for the read; the far end sends "cd" as
    // soon as the read has taken "ab": both come back in one read, which then ends at the quiet gap,
    // not at the second.
    ASSERT_EQ(SerialSetLine(kPort, 2, SerialData8), 0);
    put(pty.master(), "ab");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 2; }));
    std::thread peer([&] {
        waitUntil([&] { return pending(pty.slave()) == 0; });
        put(pty.master(), "cd");
    });
    start = Clock::now();
    EXPECT_EQ(readPort(1024), "abcd");
    EXPECT_LT(msSince(start), 900) << "the quiet line ended the read";
    peer.join();
    // A pause longer than the first-byte wait is an empty read; the next bytes come in the next.
    EXPECT_EQ(readPort(1024), "");
    put(pty.master(), "ef");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 2; }));
    EXPECT_EQ(readPort(1024), "ef");

    // A full buffer returns at once, long before the quiet gap.
    put(pty.master(), "0123456789");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 10; }));
    start = Clock::now();
    EXPECT_EQ(readPort(4), "0123");
    EXPECT_LT(msSince(start), 200);
    EXPECT_EQ(readPort(100), "456789");
}

// At 115200 baud three character times are under a millisecond: an echoed key comes back at once,
// while a burst whose pieces follow closer than that still arrives in one read.
TEST_F(PortTest, FastLineEndsAReadAfterAShortQuietGap) {
    open();
    ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 1000, 100), 0);
    // The median of five: one echo held up by a busy machine says nothing of the rule.
    std::vector<long> delays;
    for (int echo = 0; echo < 5; ++echo) {
        Clock::time_point sent;
        std::thread peer([&] {
            std::this_thread::sleep_for(20ms);
            sent = Clock::now();
            put(pty.master(), "k");
        });
        EXPECT_EQ(readPort(1024), "k");
        const long ms = msSince(sent);
        peer.join();
        delays.push_back(ms);
    }
    std::sort(delays.begin(), delays.end());
    EXPECT_LT(delays[2], 10) << "a single byte waited out a fixed quiet time";

    // The writer's pieces are 100 us apart; a loaded machine may hold the writer longer than the gap
    // now and then, so the burst has three tries to arrive whole. A read that ends after a piece
    // fails all three.
    std::string burst;
    for (int i = 0; i < 16; ++i)
        burst += std::string(64, char('a' + i));
    bool whole = false;
    for (int attempt = 0; attempt < 3 && !whole; ++attempt) {
        std::thread peer([&] {
            for (int i = 0; i < 16; ++i) {
                put(pty.master(), burst.substr(size_t(i) * 64, 64));
                std::this_thread::sleep_for(100us);
            }
        });
        std::string got = readPort(4096);
        whole = got == burst;
        peer.join();
        while (got.size() < burst.size()) {
            const std::string more = readPort(4096);
            ASSERT_FALSE(more.empty()) << "bytes of the burst were lost";
            got += more;
        }
        EXPECT_EQ(got, burst);
    }
    EXPECT_TRUE(whole) << "a burst with pieces closer than the quiet gap was split in every try";
}

TEST_F(PortTest, CollectingTimeBoundsASteadyStream) {
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 50, 100), 0);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        while (!stop) {
            put(pty.master(), "x");
            std::this_thread::sleep_for(2ms);
        }
    });
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) > 0; }));
    // A stream that never pauses still ends the read once it has collected for 100 ms. (A loaded
    // machine may pause the peer for more than 20 ms and end it sooner: only the bound is checked.)
    auto start = Clock::now();
    std::string got = readPort(100000);
    long ms = msSince(start);
    stop = true;
    peer.join();
    EXPECT_FALSE(got.empty());
    EXPECT_LT(ms, 250);
}

TEST_F(PortTest, LongFirstByteWaitShortCollect) {
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 1000, 20), 0);
    std::thread peer([&] {
        std::this_thread::sleep_for(200ms);
        put(pty.master(), "up OK");
    });
    auto start = Clock::now();
    EXPECT_EQ(readPort(50), "up OK");
    long ms = msSince(start);
    peer.join();
    EXPECT_GE(ms, 190);
    EXPECT_LT(ms, 600);
    start = Clock::now();
    EXPECT_EQ(readPort(50), "");
    ms = msSince(start);
    EXPECT_GE(ms, 1000);
    EXPECT_LT(ms, 1400);
}

TEST_F(PortTest, CloseWakesABlockedRead) {
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 10000, 100), 0);
    int result = 0;
    auto start = Clock::now();
    std::thread reader([&] {
        char buf[16];
        result = SerialRead(kPort, buf, 16);
    });
    EXPECT_EQ(SerialClose(kPort), 0);
    reader.join();
    EXPECT_EQ(result, SerialErrNotOpen);
    EXPECT_LT(msSince(start), 1000);
}

TEST_F(PortTest, WriteTimeOut) {
    open();
    std::string big(256 * 1024, 'w'); // more than the pty holds while nobody reads
    ASSERT_EQ(SerialSetWriteTimeout(kPort, 100), 0);
    auto start = Clock::now();
    int n = SerialWrite(kPort, big.data(), int(big.size()));
    long ms = msSince(start);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, int(big.size()));
    EXPECT_GE(ms, 100);
    // A write that ignored its time-out would never return here; the bound leaves room for a
    // sanitizer's slower writes.
    EXPECT_LT(ms, 1000);

    // Once the peer reads, everything goes.
    EXPECT_EQ(take(pty.master(), size_t(n)).size(), size_t(n));
    EXPECT_EQ(SerialWrite(kPort, "abc", 3), 3);
    EXPECT_EQ(take(pty.master(), 3), "abc");
}

TEST_F(PortTest, WriteTimeOutZeroWaitsUntilAllIsWritten) {
    open();
    std::string big(256 * 1024, 'w');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    ASSERT_EQ(SerialSetWriteTimeout(kPort, 0), 0);
    int n = -1;
    std::thread writer([&] { n = SerialWrite(kPort, big.data(), int(big.size())); });
    std::this_thread::sleep_for(300ms); // the peer is slow: the write keeps waiting
    EXPECT_EQ(take(pty.master(), big.size(), 5000), big);
    writer.join();
    EXPECT_EQ(n, int(big.size()));
}

TEST_F(PortTest, AbortTransmitEndsAWaitingWriteAndDropsQueuedOutput) {
    open();
    std::string big(256 * 1024, 'w');
    ASSERT_EQ(SerialSetWriteTimeout(kPort, 0), 0);
    int n = -1;
    std::thread writer([&] { n = SerialWrite(kPort, big.data(), int(big.size())); });
    ASSERT_TRUE(waitUntil([&] { return pending(pty.master()) > 0; }));
    std::this_thread::sleep_for(50ms);
    auto start = Clock::now();
    EXPECT_EQ(SerialAbortTransmit(kPort), 0);
    writer.join();
    EXPECT_LT(msSince(start), 100);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, int(big.size()));
    EXPECT_LT(pending(pty.master()), n) << "what was queued is dropped";

    // The abort does not linger: the next write goes whole.
    take(pty.master(), big.size(), 100);
    std::string more(64 * 1024, 'm');
    int m = -1;
    std::thread again([&] { m = SerialWrite(kPort, more.data(), int(more.size())); });
    EXPECT_EQ(take(pty.master(), more.size(), 5000), more);
    again.join();
    EXPECT_EQ(m, int(more.size()));
}

TEST_F(PortTest, FlushLetsOutputGoAndDropsInput) {
    open();
    put(pty.master(), "old reply");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 9; }));
    ASSERT_EQ(SerialWrite(kPort, "at+ipr=115200\r\n", 15), 15);
    EXPECT_EQ(SerialFlush(kPort, 2), 0);
    ASSERT_EQ(SerialSetReadTimeouts(kPort, -1, 0), 0);
    EXPECT_EQ(readPort(64), "");
    EXPECT_EQ(take(pty.master(), 15), "at+ipr=115200\r\n");

    put(pty.master(), "kept");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 4; }));
    EXPECT_EQ(SerialFlush(kPort, 1), 0) << "output only";
    EXPECT_EQ(readPort(64), "kept");
    put(pty.master(), "gone");
    ASSERT_TRUE(waitUntil([&] { return pending(pty.slave()) == 4; }));
    EXPECT_EQ(SerialFlush(kPort, 0), 0);
    EXPECT_EQ(readPort(64), "");
}

TEST_F(PortTest, ReaderAndWriterOnTwoThreads) {
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, 50, 100), 0);
    ASSERT_EQ(SerialSetWriteTimeout(kPort, 2000), 0);
    std::string in, out;
    for (int i = 0; i < 100000; ++i) {
        in += char('a' + i % 26);
        out += char('0' + i % 10);
    }
    std::string received, echoed;
    std::thread reader([&] {
        auto end = Clock::now() + 10s;
        while (received.size() < in.size() && Clock::now() < end)
            received += readPort(1024);
    });
    std::thread writer([&] {
        for (size_t done = 0; done < out.size();) {
            int n = SerialWrite(kPort, out.data() + done, int(std::min<size_t>(4096, out.size() - done)));
            ASSERT_GT(n, 0);
            done += size_t(n);
        }
    });
    std::thread peerOut([&] { echoed = take(pty.master(), out.size(), 10000); });
    for (size_t done = 0; done < in.size(); done += 1000) {
        pollfd p{pty.master(), POLLOUT, 0};
        ::poll(&p, 1, 1000);
        put(pty.master(), in.substr(done, 1000));
    }
    reader.join();
    writer.join();
    peerOut.join();
    EXPECT_TRUE(received == in) << received.size();
    EXPECT_TRUE(echoed == out) << echoed.size();
}
