#include "transfer_pair.h"
#include "xmodem.h"

#include <gtest/gtest.h>

using namespace seriallib;
using namespace transfer_test;

namespace {

struct YmodemRun {
    ScratchDir from, to;
    MemoryChannelPair line;
    Side sender, receiver;
    int sent = 0, got = 0;

    YmodemRun(LineFaults toReceiver = {}, LineFaults toSender = {})
        : line(std::move(toReceiver), std::move(toSender)), sender(line.a()), receiver(line.b()) {}
    void run(const std::string& name) {
        receiver.start([&](TransferContext& ctx) { return ymodemReceive(ctx, to.path()); });
        sender.start([&](TransferContext& ctx) { return ymodemSend(ctx, from.file(name)); });
        sent = sender.finish();
        got = receiver.finish();
    }
};

class YmodemRoundTrip : public ::testing::TestWithParam<size_t> {};

TEST_P(YmodemRoundTrip, FileArrivesWhole) {
    YmodemRun run;
    auto data = testData(GetParam());
    writeFile(run.from.file("data.bin"), data);
    run.run("data.bin");
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.got, 1);
    EXPECT_EQ(readFile(run.to.file("data.bin")), data);
    EXPECT_EQ(run.to.names(), std::vector<std::string>{"data.bin"});
    run.sender.log.expectMonotoneToTotal(static_cast<int>(data.size()));
    run.receiver.log.expectMonotoneToTotal(static_cast<int>(data.size()));
    EXPECT_EQ(run.sender.ctx->stats().retries, 0u);
    EXPECT_EQ(run.receiver.ctx->stats().retries, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, YmodemRoundTrip,
                         ::testing::Values(0, 1, 127, 128, 129, 1023, 1024, 1025, 8195, 65536));

TEST(Ymodem, ExistingFileIsKeptAndTheNewOneTakesAnotherName) {
    YmodemRun run;
    writeFile(run.from.file("notes.txt"), testData(500));
    writeFile(run.to.file("notes.txt"), testData(10, 99));
    run.run("notes.txt");
    EXPECT_EQ(run.got, 1);
    EXPECT_EQ(readFile(run.to.file("notes.txt")), testData(10, 99));
    EXPECT_EQ(readFile(run.to.file("notes (1).txt")), testData(500));
}

struct DamageCase {
    const char* what;
    std::function<bool(uint64_t, uint8_t&)> toReceiver, toSender;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.what;
}

const DamageCase damageCases[] = {
    {"a corrupted block 0", [](uint64_t i, uint8_t& b) { return (i == 20 ? b ^= 1 : b), true; }, nullptr},
    {"a lost ACK of block 0", nullptr, [](uint64_t i, uint8_t&) { return i != 1; }},
    {"a lost start request after block 0", nullptr, [](uint64_t i, uint8_t&) { return i != 2; }},
    {"a corrupted data block", [](uint64_t i, uint8_t& b) { return (i == 133 + 700 ? b ^= 8 : b), true; },
     nullptr},
    {"a lost ACK of a data block", nullptr, [](uint64_t i, uint8_t&) { return i != 3; }},
};

class YmodemDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(YmodemDamage, IsRecoveredFrom) {
    const DamageCase& c = GetParam();
    // Line layout towards the receiver: block 0 (133 bytes), then 1029-byte blocks.
    LineFaults toReceiver, toSender;
    toReceiver.fault = c.toReceiver;
    toSender.fault = c.toSender;
    YmodemRun run(toReceiver, toSender);
    auto data = testData(3000);
    writeFile(run.from.file("f"), data);
    run.run("f");
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.got, 1);
    EXPECT_EQ(readFile(run.to.file("f")), data);
    EXPECT_EQ(run.to.names(), std::vector<std::string>{"f"});
}

INSTANTIATE_TEST_SUITE_P(Faults, YmodemDamage, ::testing::ValuesIn(damageCases),
                         [](const ::testing::TestParamInfo<DamageCase>& info) {
                             return rowName(info.param.what);
                         });

// Once the receiver has acknowledged the file's EOT it keeps the file: a receiver that leaves
// before the end of the batch has been agreed costs the sender nothing.
struct BatchEndCase {
    const char* what;
    std::function<bool(uint64_t, uint8_t&)> toSender;
    int received;
};

void PrintTo(const BatchEndCase& c, std::ostream* os) {
    *os << c.what;
}

const BatchEndCase batchEndCases[] = {
    {"the last ACK is lost", [](uint64_t i, uint8_t&) { return i != 9; }, 1},
    {"the receiver falls silent after the file", [](uint64_t i, uint8_t&) { return i < 8; },
     TransferErrTimeout},
};

class YmodemBatchEnd : public ::testing::TestWithParam<BatchEndCase> {};

TEST_P(YmodemBatchEnd, SenderSucceedsWhenOnlyTheEndGoesUnanswered) {
    const BatchEndCase& c = GetParam();
    // Towards the sender: C, ACK of block 0, C, ACK of blocks 1-3, NAK and ACK of the EOT, C, ACK of
    // the empty block 0.
    LineFaults toSender;
    toSender.fault = c.toSender;
    YmodemRun run({}, toSender);
    auto data = testData(3000);
    writeFile(run.from.file("f"), data);
    auto started = Clock::now();
    run.run("f");
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.got, c.received);
    EXPECT_EQ(readFile(run.to.file("f")), data);
    EXPECT_EQ(run.to.names(), std::vector<std::string>{"f"});
    EXPECT_LT(Clock::now() - started, 5 * quickTimings().responseWait);
}

INSTANTIATE_TEST_SUITE_P(Answers, YmodemBatchEnd, ::testing::ValuesIn(batchEndCases),
                         [](const ::testing::TestParamInfo<BatchEndCase>& info) {
                             return rowName(info.param.what);
                         });

// A sender driven block by block, for what our own sender never does.
struct ScriptedBatch {
    ScratchDir to;
    MemoryChannelPair line;
    Side receiver{line.b()};
    ScriptedPeer peer{line.a()};

    ScriptedBatch() {
        receiver.start([&](TransferContext& ctx) { return ymodemReceive(ctx, to.path()); });
    }
    // Sends one file: block 0 with the given header text, then the data, then EOT twice.
    void sendFile(const std::string& header0, const std::vector<uint8_t>& data) {
        ASSERT_EQ(peer.awaitAny({CRC_START}), CRC_START);
        std::vector<uint8_t> h(header0.begin(), header0.end());
        peer.send(xmodem::frameBlock(0, h.data(), h.size(), 128, true, 0));
        ASSERT_EQ(peer.awaitAny({ACK}), ACK);
        ASSERT_EQ(peer.awaitAny({CRC_START}), CRC_START);
        uint8_t n = 1;
        for (size_t off = 0; off < data.size(); off += 1024, ++n) {
            peer.send(xmodem::frameBlock(n, data.data() + off, std::min<size_t>(1024, data.size() - off),
                                         1024, true));
            ASSERT_EQ(peer.awaitAny({ACK}), ACK);
        }
        peer.send(EOT);
        ASSERT_EQ(peer.awaitAny({NAK, ACK}), NAK);
        peer.send(EOT);
        ASSERT_EQ(peer.awaitAny({ACK}), ACK);
    }
    void endBatch() {
        ASSERT_EQ(peer.awaitAny({CRC_START}), CRC_START);
        uint8_t none = 0;
        peer.send(xmodem::frameBlock(0, &none, 0, 128, true, 0));
        ASSERT_EQ(peer.awaitAny({ACK}), ACK);
    }
};

std::string header(const std::string& name, size_t size) {
    return name + std::string(1, '\0') + std::to_string(size);
}

TEST(Ymodem, BatchOfSeveralFilesWithHostileNamesStaysInsideTheFolder) {
    ScriptedBatch batch;
    auto a = testData(1500, 1), b = testData(10, 2), c = testData(2048, 3);
    batch.sendFile(header("../x", a.size()), a);
    batch.sendFile(header("/etc/x", b.size()), b);
    batch.sendFile(header("sub/dir/c.txt", c.size()) + " 14712345670 100644", c);
    batch.endBatch();
    EXPECT_EQ(batch.receiver.finish(), 3);
    EXPECT_EQ(batch.to.names(), (std::vector<std::string>{"c.txt", "x", "x (1)"}));
    EXPECT_EQ(readFile(batch.to.file("x")), a);
    EXPECT_EQ(readFile(batch.to.file("x (1)")), b);
    EXPECT_EQ(readFile(batch.to.file("c.txt")), c);
}

TEST(Ymodem, AFileWithoutASizeKeepsItsPadding) {
    ScriptedBatch batch;
    auto data = testData(100);
    batch.sendFile(std::string("nosize"), data);
    batch.endBatch();
    EXPECT_EQ(batch.receiver.finish(), 1);
    EXPECT_EQ(readFile(batch.to.file("nosize")), paddedTo(data, 1024));
}

TEST(YmodemFaults, AFileShorterThanItsSizeIsNeverKept) {
    ScriptedBatch batch;
    auto data = testData(1024);
    batch.sendFile(header("short", 5000), data);
    EXPECT_EQ(batch.receiver.finish(), TransferErrProtocol);
    EXPECT_TRUE(batch.to.names().empty());
}

TEST(YmodemFaults, CancelFromThePeerKeepsOnlyCompletedFiles) {
    ScriptedBatch batch;
    auto data = testData(700);
    batch.sendFile(header("done", data.size()), data);
    ASSERT_EQ(batch.peer.awaitAny({CRC_START}), CRC_START);
    auto h = header("halfway", 5000);
    batch.peer.send(
        xmodem::frameBlock(0, reinterpret_cast<const uint8_t*>(h.data()), h.size(), 128, true, 0));
    ASSERT_EQ(batch.peer.awaitAny({ACK}), ACK);
    ASSERT_EQ(batch.peer.awaitAny({CRC_START}), CRC_START);
    batch.peer.send(xmodem::frameBlock(1, data.data(), 700, 1024, true));
    ASSERT_EQ(batch.peer.awaitAny({ACK}), ACK);
    batch.peer.send({CAN, CAN});
    EXPECT_EQ(batch.receiver.finish(), TransferErrRemoteAbort);
    EXPECT_EQ(batch.to.names(), std::vector<std::string>{"done"});
}

TEST(YmodemFaults, NoPeerAndMissingFoldersFailWithTheirCodes) {
    ScratchDir dir;
    writeFile(dir.file("in"), testData(10));
    {
        // A sender and a receiver, each alone on its line, both at once; the sender gives up sooner.
        TransferTimings soon = quickTimings();
        soon.startWait = 1s;
        MemoryChannelPair line, otherLine;
        Side sender(line.a(), soon), receiver(otherLine.b(), soon);
        sender.start([&](TransferContext& ctx) { return ymodemSend(ctx, dir.file("in")); });
        receiver.start([&](TransferContext& ctx) { return ymodemReceive(ctx, dir.path()); });
        EXPECT_EQ(sender.finish(), TransferErrTimeout);
        EXPECT_EQ(receiver.finish(), TransferErrTimeout);
    }
    MemoryChannelPair line;
    TransferContext ctx(line.a(), nullptr, {}, quickTimings());
    EXPECT_EQ(ymodemReceive(ctx, dir.file("missing")), TransferErrFile);
    EXPECT_EQ(ymodemReceive(ctx, "relative"), TransferErrFile);
    EXPECT_EQ(ymodemSend(ctx, dir.file("missing")), TransferErrFile);
    EXPECT_EQ(line.writtenAToB(), 0u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in"});
}

} // namespace
