// The faults every batch protocol must survive the same way: a user who gives up mid-file, an abort
// from another thread, noise and loss mid-file. One test over ZMODEM and Kermit.
#include "batch_protocols.h"
#include "memory_channel.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using batch_test::Kermit;
using batch_test::Zmodem;
using transfer_test::ScratchDir;

template <typename Protocol>
class SessionFault : public testing::Test {};

struct ProtocolNames {
    template <typename T>
    static std::string GetName(int) {
        return T::name;
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

// One transfer over a line with the given protocol and options on both sides.
using Transfer = std::function<batch_test::Outcome(MemoryChannelPair&, const std::vector<std::string>&,
                                                   const std::string&)>;

template <typename Protocol>
Transfer over(typename Protocol::Options options = {}, TransferTimings timings = Protocol::timings()) {
    return [options, timings](MemoryChannelPair& line, const std::vector<std::string>& paths,
                              const std::string& folder) {
        return batch_test::transfer<Protocol>(line, paths, folder, options, options, timings);
    };
}

template <typename Row>
std::string rowName(const testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

// Rows print as their names.
template <typename Row>
void printRow(const Row& row, std::ostream* os) {
    *os << row.name;
}

// Sends data as the file `name` over line: both sides succeed, and the file arrives whole.
void expectDelivered(const Transfer& transfer, MemoryChannelPair& line, const std::string& name,
                     const std::vector<uint8_t>& data) {
    ScratchDir src, dst;
    transfer_test::writeFile(src.file(name), data);
    const auto r = transfer(line, {src.file(name)}, dst.path());
    EXPECT_EQ(r.sent, 0);
    EXPECT_EQ(r.received, 1);
    EXPECT_EQ(dst.names(), std::vector<std::string>{name});
    EXPECT_EQ(transfer_test::readFile(dst.file(name)), data);
}

struct SizeCase {
    std::string name;
    Transfer transfer;
    size_t size;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    printRow(c, os);
}

class SessionSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(SessionSizes, FilesOfEverySizeArriveIdentical) {
    const SizeCase& c = GetParam();
    MemoryChannelPair line;
    expectDelivered(c.transfer, line, "Mixed.Case", transfer_test::testData(c.size, uint32_t(c.size)));
}

// Empty, one byte, around a block, and several blocks; Kermit with short and with long packets.
std::vector<SizeCase> sizeCases() {
    Kermit::Options longPackets;
    longPackets.longPacket = 4000;
    const std::pair<std::string, Transfer> ways[] = {{"Zmodem", over<Zmodem>()},
                                                     {"Kermit", over<Kermit>()},
                                                     {"Kermit_long_packets", over<Kermit>(longPackets)}};
    std::vector<SizeCase> out;
    for (const auto& [name, transfer] : ways)
        for (size_t size : {size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(8192 + 3),
                            size_t(65536)})
            out.push_back({name + "_" + std::to_string(size), transfer, size});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SessionSizes, testing::ValuesIn(sizeCases()), rowName<SizeCase>);

// A file sent over a line that spoils or loses bytes mid-file, in bursts or at random, arrives whole.
struct RepairCase {
    std::string name;
    Transfer transfer;
    LineFaults forward, back;
};
// Bursts of flipped bytes (flip: the bits flipped) at two places in the file.
LineFaults noiseBursts(uint8_t flip) {
    return {.fault = [flip](uint64_t i, uint8_t& b) {
        if ((i > 20000 && i < 20040) || (i > 41000 && i < 41010))
            b ^= flip;
        return true;
    }};
}

LineFaults randomFaults(double corrupt, double drop, uint64_t seed) {
    LineFaults f;
    f.corrupt = corrupt;
    f.drop = drop;
    f.seed = seed;
    return f;
}

LineFaults droppedBytes() {
    return {.fault = [](uint64_t i, uint8_t&) { return !(i > 9000 && i < 9100) && i != 30001; }};
}

void PrintTo(const RepairCase& c, std::ostream* os) {
    printRow(c, os);
}

class SessionRepair : public testing::TestWithParam<RepairCase> {};

TEST_P(SessionRepair, NoiseAndLossMidFileAreRepaired) {
    const RepairCase& c = GetParam();
    MemoryChannelPair line(c.forward, c.back);
    expectDelivered(c.transfer, line, "noisy", transfer_test::testData(65536, 3));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SessionRepair,
    testing::Values(RepairCase{"Zmodem_noise_bursts", over<Zmodem>(), noiseBursts(0x5a), {}},
                    RepairCase{"Zmodem_dropped_bytes", over<Zmodem>(), droppedBytes(), {}},
                    RepairCase{"Zmodem_random_faults_both_ways", over<Zmodem>(),
                               randomFaults(0.0005, 0.0005, 42), randomFaults(0.01, 0, 5)},
                    // Kermit's NAKs and retries repair them the same way.
                    RepairCase{"Kermit_noise_bursts", over<Kermit>(), noiseBursts(0x21), {}},
                    RepairCase{"Kermit_dropped_bytes", over<Kermit>(), droppedBytes(), {}},
                    RepairCase{"Kermit_random_faults_both_ways", over<Kermit>(),
                               randomFaults(0.0002, 0.0002, 42), randomFaults(0.01, 0.005, 5)}),
    rowName<RepairCase>);

} // namespace
