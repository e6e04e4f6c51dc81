#include "memory_channel.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace seriallib;
using namespace std::chrono_literals;

namespace {

std::vector<uint8_t> carry(LineFaults faults, size_t size) {
    MemoryChannelPair line(std::move(faults));
    std::vector<uint8_t> sent(size);
    for (size_t i = 0; i < size; ++i)
        sent[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(line.a().write(sent.data(), size, Clock::now()), static_cast<int>(size));
    std::vector<uint8_t> got(2 * size + 16);
    size_t n = 0;
    for (;;) {
        int r = line.b().read(got.data() + n, got.size() - n, Clock::now() + 20ms);
        if (r <= 0)
            break;
        n += static_cast<size_t>(r);
    }
    got.resize(n);
    return got;
}

TEST(MemoryChannel, CleanLineCarriesBothWays) {
    MemoryChannelPair line;
    const uint8_t ping[] = {1, 2, 3}, pong[] = {4};
    line.a().write(ping, 3, Clock::now());
    line.b().write(pong, 1, Clock::now());
    uint8_t buf[8];
    EXPECT_EQ(line.b().read(buf, sizeof buf, Clock::now()), 3);
    EXPECT_EQ(buf[2], 3);
    EXPECT_EQ(line.a().read(buf, sizeof buf, Clock::now()), 1);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(line.writtenAToB(), 3u);
    EXPECT_EQ(line.writtenBToA(), 1u);
}

TEST(MemoryChannel, FaultsDependOnlyOnTheSeed) {
    LineFaults noisy;
    noisy.corrupt = 0.01;
    noisy.drop = 0.01;
    noisy.seed = 42;
    auto first = carry(noisy, 20000);
    EXPECT_EQ(carry(noisy, 20000), first);
    EXPECT_LT(first.size(), 20000u);
    EXPECT_GT(first.size(), 19000u);
    noisy.seed = 43;
    EXPECT_NE(carry(noisy, 20000), first);
}

// Inserted bytes come on top of the others: the rest of the stream arrives unchanged and in order,
// and a seed's flips and losses do not move when insertions are added.
TEST(MemoryChannel, InsertedBytesAddToTheStreamWithoutMovingTheOtherFaults) {
    LineFaults inserting;
    inserting.insert = 0.01;
    inserting.seed = 42;
    auto got = carry(inserting, 20000);
    EXPECT_GT(got.size(), 20100u);
    EXPECT_LT(got.size(), 20400u);
    EXPECT_EQ(carry(inserting, 20000), got);
    size_t matched = 0; // the sent bytes are a subsequence of what arrived
    for (size_t i = 0; i < got.size() && matched < 20000; ++i)
        if (got[i] == static_cast<uint8_t>(matched * 7))
            ++matched;
    EXPECT_EQ(matched, 20000u);

    LineFaults lossy;
    lossy.drop = 0.01;
    lossy.seed = 42;
    auto lost = carry(lossy, 20000);
    lossy.insert = 0.01;
    auto both = carry(lossy, 20000);
    EXPECT_EQ(both.size() - lost.size(), got.size() - 20000);
}

TEST(MemoryChannel, TargetedFaultsHitTheGivenBytes) {
    LineFaults f;
    f.fault = [](uint64_t index, uint8_t& b) {
        if (index == 2)
            b = 0xEE;
        return index != 4;
    };
    auto got = carry(f, 6);
    std::vector<uint8_t> expected = {0, 7, 0xEE, 21, 35};
    EXPECT_EQ(got, expected);
}

TEST(MemoryChannel, DelayHoldsBytesBackAndPurgeDropsOnlyArrivedOnes) {
    LineFaults slow;
    slow.delay = 80ms;
    MemoryChannelPair line(slow);
    const uint8_t first = 1;
    auto sent = Clock::now();
    line.a().write(&first, 1, sent);
    uint8_t buf[4];
    EXPECT_EQ(line.b().read(buf, sizeof buf, sent + 30ms), 0);
    EXPECT_EQ(line.b().read(buf, sizeof buf, sent + 1s), 1);
    EXPECT_GE(Clock::now() - sent, 80ms);

    line.a().write(&first, 1, Clock::now());
    std::this_thread::sleep_for(100ms);
    const uint8_t second = 2;
    line.a().write(&second, 1, Clock::now());
    line.b().purgeInput();
    EXPECT_EQ(line.b().read(buf, sizeof buf, Clock::now() + 1s), 1);
    EXPECT_EQ(buf[0], 2);
}

TEST(MemoryChannel, CloseWakesAWaitingReader) {
    MemoryChannelPair line;
    std::thread closer([&] {
        std::this_thread::sleep_for(30ms);
        line.close();
    });
    uint8_t buf[1];
    auto start = Clock::now();
    EXPECT_EQ(line.a().read(buf, 1, Clock::now() + 10s), -1);
    EXPECT_LT(Clock::now() - start, 2s);
    closer.join();
    EXPECT_EQ(line.b().write(buf, 1, Clock::now()), -1);
}

} // namespace
