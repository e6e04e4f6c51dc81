#include "crc.h"
#include "transfer_pair.h"
#include "xmodem.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

using namespace seriallib;
using namespace transfer_test;

namespace {

const char* variantName(XmodemVariant v) {
    switch (v) {
    case XmodemVariant::Checksum:
        return "Checksum";
    case XmodemVariant::Crc:
        return "Crc";
    case XmodemVariant::OneK:
        return "OneK";
    }
    return "?";
}

// For a side whose peer is gone or never comes: the same waits, given up sooner.
TransferTimings noPeerTimings() {
    TransferTimings t = quickTimings();
    t.startWait = 1s;
    t.retries = 3;
    return t;
}

// Our sender to our receiver, sender on a(), receiver on b().
struct XmodemRun {
    ScratchDir dir;
    std::vector<uint8_t> data;
    MemoryChannelPair line;
    Side sender, receiver;
    int sent = 0, got = 0;

    XmodemRun(size_t size, LineFaults toReceiver = {}, LineFaults toSender = {})
        : data(testData(size)), line(std::move(toReceiver), std::move(toSender)), sender(line.a()),
          receiver(line.b()) {
        writeFile(dir.file("in"), data);
    }
    void run(XmodemVariant send, XmodemVariant receive) {
        receiver.start([&](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), receive); });
        sender.start([&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), send); });
        sent = sender.finish();
        got = receiver.finish();
    }
    std::vector<uint8_t> received() { return readFile(dir.file("out")); }
};

struct RoundTrip {
    XmodemVariant variant;
    size_t size;
};

void PrintTo(const RoundTrip& r, std::ostream* os) {
    *os << variantName(r.variant) << " " << r.size;
}

class XmodemRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(XmodemRoundTrip, ReceivedFileIsTheDataPaddedToWholeBlocks) {
    auto [variant, size] = GetParam();
    XmodemRun run(size);
    run.run(variant, variant);
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.got, 0);
    EXPECT_EQ(run.received(), paddedTo(run.data, 128));
    run.sender.log.expectMonotoneToTotal(static_cast<int>(size));
    EXPECT_EQ(run.sender.ctx->stats().retries, 0u);
    EXPECT_EQ(run.receiver.ctx->stats().retries, 0u);
}

std::vector<RoundTrip> roundTrips() {
    std::vector<RoundTrip> out;
    for (auto v : {XmodemVariant::Checksum, XmodemVariant::Crc, XmodemVariant::OneK})
        for (size_t size : {0, 1, 127, 128, 129, 1023, 1024, 1025, 8195})
            out.push_back({v, size});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Sizes, XmodemRoundTrip, ::testing::ValuesIn(roundTrips()),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) {
                             return std::string(variantName(info.param.variant)) + "_" +
                                    std::to_string(info.param.size);
                         });

// The receiver decides the check: every sender follows its NAK or 'C'.
TEST(Xmodem, SenderFollowsTheReceiversChoiceOfCheck) {
    struct Case {
        XmodemVariant send, receive;
    };
    for (auto c :
         {Case{XmodemVariant::Crc, XmodemVariant::Checksum},
          Case{XmodemVariant::OneK, XmodemVariant::Checksum},
          Case{XmodemVariant::Checksum, XmodemVariant::Crc}, Case{XmodemVariant::OneK, XmodemVariant::Crc},
          Case{XmodemVariant::Crc, XmodemVariant::OneK}}) {
        SCOPED_TRACE(std::string(variantName(c.send)) + " to " + variantName(c.receive));
        XmodemRun run(3000);
        run.run(c.send, c.receive);
        EXPECT_EQ(run.sent, 0);
        EXPECT_EQ(run.got, 0);
        EXPECT_EQ(run.received(), paddedTo(run.data, 128));
    }
}

// A sender that knows only checksums ignores 'C'; the CRC receiver goes over to NAK.
TEST(Xmodem, CrcReceiverFallsBackToChecksumForASenderThatIgnoresC) {
    ScratchDir dir;
    MemoryChannelPair line;
    Side receiver(line.b());
    receiver.start(
        [&](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), XmodemVariant::Crc); });
    ScriptedPeer peer(line.a());
    ASSERT_EQ(peer.awaitAny({NAK}, 5s), NAK);
    auto data = testData(128);
    peer.send(xmodem::frameBlock(1, data.data(), data.size(), 128, false));
    ASSERT_EQ(peer.awaitAny({ACK}), ACK);
    peer.send(EOT);
    ASSERT_EQ(peer.awaitAny({NAK, ACK}), NAK); // a first EOT is asked for again
    peer.send(EOT);
    ASSERT_EQ(peer.awaitAny({ACK}), ACK);
    EXPECT_EQ(receiver.finish(), 0);
    EXPECT_EQ(readFile(dir.file("out")), data);
    EXPECT_GE(std::count(peer.seen().begin(), peer.seen().end(), CRC_START), 3);
}

// The firmware path: a receiver that starts with NAK and checks 8-bit sums.
TEST(Xmodem, ChecksumSenderAnswersAReceiverThatStartsWithNak) {
    ScratchDir dir;
    auto data = testData(300);
    writeFile(dir.file("in"), data);
    MemoryChannelPair line;
    Side sender(line.a());
    sender.start(
        [&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), XmodemVariant::Checksum); });
    ScriptedPeer peer(line.b());
    peer.send(NAK);
    std::vector<uint8_t> got;
    for (uint8_t expected = 1; expected <= 3; ++expected) {
        auto block = peer.take(132);
        ASSERT_EQ(block.size(), 132u);
        EXPECT_EQ(block[0], xmodem::SOH);
        EXPECT_EQ(block[1], expected);
        EXPECT_TRUE(xmodem::checkMatches(block.data() + 3, 128, block.data() + 131, false));
        got.insert(got.end(), block.begin() + 3, block.begin() + 131);
        peer.send(ACK);
    }
    ASSERT_EQ(peer.awaitAny({EOT}), EOT);
    peer.send(ACK);
    EXPECT_EQ(sender.finish(), 0);
    EXPECT_EQ(got, paddedTo(data, 128));
}

// Damaged blocks and lost answers are recovered.
struct DamageCase {
    const char* what;
    std::function<bool(uint64_t, uint8_t&)> toReceiver, toSender;
    int senderResult = 0;
    bool retried = true;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.what;
}

class XmodemDamage : public ::testing::TestWithParam<DamageCase> {};

const DamageCase damageCases[] = {
    {"a corrupted byte in block 2",
     [](uint64_t i, uint8_t& b) { return (i == 1029 + 500 ? b ^= 0x40 : b), true; }, nullptr},
    {"a lost ACK", nullptr, [](uint64_t i, uint8_t&) { return i != 2; }},
    {"a lost start request", nullptr, [](uint64_t i, uint8_t&) { return i != 0; }, 0, false},
    {"a block header turned into EOT", [](uint64_t i, uint8_t& b) { return (i == 1029 ? b = EOT : b), true; },
     nullptr},
    {"a lost EOT", [](uint64_t i, uint8_t&) { return i != 3 * 1029; }, nullptr},
    // The receiver has all and has left: its silence after the EOT says so.
    {"a lost last ACK", nullptr, [](uint64_t i, uint8_t&) { return i != 5; }, 0, false},
};

TEST_P(XmodemDamage, IsRecoveredFrom) {
    const DamageCase& c = GetParam();
    LineFaults toReceiver, toSender;
    toReceiver.fault = c.toReceiver;
    toSender.fault = c.toSender;
    XmodemRun run(3 * 1024, toReceiver, toSender);
    run.run(XmodemVariant::OneK, XmodemVariant::OneK);
    EXPECT_EQ(run.sent, c.senderResult);
    EXPECT_EQ(run.got, 0);
    EXPECT_EQ(run.received(), run.data);
    // Either side may notice first that something went missing.
    if (c.retried) {
        EXPECT_GE(run.sender.ctx->stats().retries + run.receiver.ctx->stats().retries, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, XmodemDamage, ::testing::ValuesIn(damageCases),
                         [](const ::testing::TestParamInfo<DamageCase>& info) {
                             return rowName(info.param.what);
                         });

class XmodemNoisyLossyLine : public ::testing::TestWithParam<uint64_t> {};

TEST_P(XmodemNoisyLossyLine, StillDeliversTheExactFile) {
    const uint64_t seed = GetParam();
    LineFaults noisy;
    noisy.corrupt = 0.0001;
    noisy.drop = 0.0001;
    noisy.seed = seed;
    LineFaults back = noisy;
    back.corrupt = 0.02;
    back.drop = 0.02;
    XmodemRun run(16 * 1024, noisy, back);
    run.run(XmodemVariant::OneK, XmodemVariant::OneK);
    EXPECT_EQ(run.got, 0);
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.received(), run.data);
}

INSTANTIATE_TEST_SUITE_P(Seeds, XmodemNoisyLossyLine, ::testing::Values(1, 2, 3));

// A receiver started on b() of a clean line, with a scripted sender on a().
struct ScriptedSender {
    ScratchDir dir;
    MemoryChannelPair line;
    Side receiver;
    ScriptedPeer peer{line.a()};

    explicit ScriptedSender(XmodemVariant variant, TransferTimings timings = quickTimings())
        : receiver(line.b(), timings) {
        receiver.start(
            [this, variant](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), variant); });
    }
    std::vector<uint8_t> received() { return readFile(dir.file("out")); }
    // Answers the receiver's start request with block 1 holding data, and waits for its ACK.
    void sendBlockOne(const std::vector<uint8_t>& data, bool crc) {
        ASSERT_EQ(peer.awaitAny({crc ? CRC_START : NAK}), crc ? CRC_START : NAK);
        peer.send(xmodem::frameBlock(1, data.data(), data.size(), data.size(), crc));
        ASSERT_EQ(peer.awaitAny({ACK}), ACK);
    }
};

// What a scripted sender sends, and the answer it then waits for (ACK or NAK).
struct Step {
    std::vector<uint8_t> send; // nothing: the sender stays silent
    uint8_t answer;
    std::chrono::milliseconds pauseAfter{0}; // silence after the answer; its NAKs are dropped
};

void play(ScriptedPeer& peer, const std::vector<Step>& steps) {
    for (const auto& step : steps) {
        if (!step.send.empty())
            peer.send(step.send);
        ASSERT_EQ(peer.awaitAny({ACK, NAK}), step.answer);
        if (step.pauseAfter.count() > 0) {
            std::this_thread::sleep_for(step.pauseAfter);
            peer.drain(20ms);
        }
    }
}

TEST(XmodemFaults, CancelFromThePeerGivesTheRemoteAbortCode) {
    ScratchDir dir;
    writeFile(dir.file("in"), testData(4096));
    {
        SCOPED_TRACE("receiver cancels");
        MemoryChannelPair line;
        Side sender(line.a());
        sender.start(
            [&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), XmodemVariant::Crc); });
        ScriptedPeer peer(line.b());
        peer.send(CRC_START);
        ASSERT_EQ(peer.take(133).size(), 133u); // block 1, so that the cancel answers it
        peer.send({CAN, CAN});
        EXPECT_EQ(sender.finish(), TransferErrRemoteAbort);
    }
    {
        SCOPED_TRACE("sender cancels after a block");
        ScriptedSender run(XmodemVariant::Crc);
        ASSERT_NO_FATAL_FAILURE(run.sendBlockOne(testData(128), true));
        run.peer.send({CAN, CAN});
        EXPECT_EQ(run.receiver.finish(), TransferErrRemoteAbort);
        EXPECT_TRUE(run.dir.names().empty()); // the partial file is not kept
    }
    {
        SCOPED_TRACE("sender cancels right behind a block");
        ScriptedSender run(XmodemVariant::Crc);
        ASSERT_NO_FATAL_FAILURE(run.sendBlockOne(testData(128), true));
        const auto data = testData(128, 2);
        auto frame = xmodem::frameBlock(2, data.data(), data.size(), data.size(), true);
        frame.insert(frame.end(), {CAN, CAN});
        auto sent = Clock::now();
        run.peer.send(frame);
        EXPECT_EQ(run.receiver.finish(), TransferErrRemoteAbort);
        EXPECT_LT(Clock::now() - sent, quickTimings().blockWait) << "ended at once, not on its time-outs";
        EXPECT_TRUE(run.dir.names().empty());
    }
}

// A sender and a receiver, each on a line with nobody at the other end, both at once.
TEST(XmodemFaults, NoPeerGivesTheTimeOutCode) {
    ScratchDir dir;
    writeFile(dir.file("in"), testData(10));
    MemoryChannelPair line, otherLine;
    Side sender(line.a(), noPeerTimings()), receiver(otherLine.b(), noPeerTimings());
    sender.start([&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), XmodemVariant::OneK); });
    receiver.start(
        [&](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), XmodemVariant::Crc); });
    EXPECT_EQ(sender.finish(), TransferErrTimeout);
    EXPECT_EQ(receiver.finish(), TransferErrTimeout);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in"});
}

TEST(XmodemFaults, APeerThatGoesSilentMidwayGivesTheTimeOutCode) {
    ScriptedSender run(XmodemVariant::Crc, noPeerTimings());
    ASSERT_NO_FATAL_FAILURE(run.sendBlockOne(testData(128), true));
    EXPECT_EQ(run.receiver.finish(), TransferErrTimeout);
    EXPECT_TRUE(run.dir.names().empty());
    auto tail = run.peer.drain(50ms);
    EXPECT_GE(std::count(tail.begin(), tail.end(), CAN), 2) << "the cancel sequence was sent";
}

TEST(XmodemFaults, MissingFilesGiveTheFileCodeWithoutTouchingTheLine) {
    ScratchDir dir;
    MemoryChannelPair line;
    TransferContext a(line.a(), nullptr, {}, quickTimings());
    EXPECT_EQ(xmodemSend(a, dir.file("missing"), XmodemVariant::Crc), TransferErrFile);
    EXPECT_EQ(xmodemSend(a, dir.path(), XmodemVariant::Crc), TransferErrFile);
    EXPECT_EQ(xmodemReceive(a, dir.file("no/such/folder"), XmodemVariant::Crc), TransferErrFile);
    EXPECT_EQ(xmodemReceive(a, "relative.bin", XmodemVariant::Crc), TransferErrFile);
    EXPECT_EQ(line.writtenAToB(), 0u);
}

// Stopping from another thread ends both sides promptly: ours at once, the peer through the cancel.
struct StopCase {
    const char* what;
    bool stopSender;
    bool byCallback;
    int expected;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.what;
}

const StopCase stopCases[] = {StopCase{"abort the sender", true, false, TransferErrAborted},
                              StopCase{"abort the receiver", false, false, TransferErrAborted},
                              StopCase{"callback stops the sender", true, true, TransferErrUserAbort},
                              StopCase{"callback stops the receiver", false, true, TransferErrUserAbort}};

class XmodemStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(XmodemStop, FromAnotherThreadEndsWithinTwoHundredMilliseconds) {
    const StopCase& c = GetParam();
    LineFaults slow;
    slow.delay = std::chrono::milliseconds(5);
    XmodemRun run(200 * 1024, slow, slow);
    run.receiver.start(
        [&](TransferContext& ctx) { return xmodemReceive(ctx, run.dir.file("out"), XmodemVariant::OneK); });
    run.sender.start(
        [&](TransferContext& ctx) { return xmodemSend(ctx, run.dir.file("in"), XmodemVariant::OneK); });
    Side& stopped = c.stopSender ? run.sender : run.receiver;
    Side& other = c.stopSender ? run.receiver : run.sender;
    // Wait until the transfer is under way.
    for (;;) {
        {
            std::lock_guard lock(run.sender.log.mutex);
            if (!run.sender.log.calls.empty() && run.sender.log.calls.back().first >= 4096)
                break;
        }
        std::this_thread::yield();
    }
    auto asked = Clock::now();
    if (c.byCallback)
        stopped.stopFromCallback = true;
    else
        stopped.abort.transmit = true;
    ASSERT_TRUE(ready(stopped.result, 2s));
    EXPECT_LT(Clock::now() - asked, 200ms);
    EXPECT_EQ(stopped.result.get(), c.expected);
    EXPECT_EQ(other.finish(), TransferErrRemoteAbort);
    EXPECT_EQ(run.dir.names(), std::vector<std::string>{"in"});
}

INSTANTIATE_TEST_SUITE_P(Stops, XmodemStop, ::testing::ValuesIn(stopCases),
                         [](const ::testing::TestParamInfo<StopCase>& info) {
                             return rowName(info.param.what);
                         });

} // namespace

// Only a clean EOT that answers our NAK of a clean EOT ends the file: a stray 0x04, one with bytes
// behind it, or one followed by silence never makes a short file look complete.
// Blocks 1 and 2 of a file, block 2 framed for the line, and the EOT.
const std::vector<uint8_t> blockOneData = testData(128, 1), blockTwoData = testData(128, 2);
const std::vector<uint8_t> blockTwo = xmodem::frameBlock(2, blockTwoData.data(), 128, 128, true);
const std::vector<uint8_t> eot{EOT};

struct EotCase {
    const char* what;
    std::vector<Step> afterBlockOne;
    int expected;
};

void PrintTo(const EotCase& c, std::ostream* os) {
    *os << c.what;
}

const EotCase eotCases[] = {
    {"a stray EOT and a sender that pauses before its next block",
     {{eot, NAK, 4 * quickTimings().startInterval}, {blockTwo, ACK}, {eot, NAK}, {eot, ACK}},
     0},
    {"an EOT with bytes right behind it is noise",
     {{{EOT, 0x33, 0x44}, NAK}, {eot, NAK}, {blockTwo, ACK}, {eot, NAK}, {eot, ACK}},
     0},
    // The end is asked about again, and never taken for granted.
    {"one EOT and silence", {{eot, NAK}, {{}, NAK}}, TransferErrTimeout},
};

class XmodemReceiverEnd : public ::testing::TestWithParam<EotCase> {};

TEST_P(XmodemReceiverEnd, AFileEndsOnlyWhenTheSenderRepeatsItsEot) {
    const EotCase& c = GetParam();
    ScriptedSender run(XmodemVariant::Crc);
    ASSERT_NO_FATAL_FAILURE(run.sendBlockOne(blockOneData, true));
    play(run.peer, c.afterBlockOne);
    EXPECT_EQ(run.receiver.finish(), c.expected);
    auto both = blockOneData;
    both.insert(both.end(), blockTwoData.begin(), blockTwoData.end());
    if (c.expected == 0)
        EXPECT_EQ(run.received(), both);
    else
        EXPECT_EQ(run.dir.names(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Senders, XmodemReceiverEnd, ::testing::ValuesIn(eotCases),
                         [](const ::testing::TestParamInfo<EotCase>& info) {
                             return rowName(info.param.what);
                         });

// Block 4 without its header starts with its number, 4, which is also EOT.
TEST(XmodemEnd, ABlockNumberedFourThatLostItsHeaderIsNoEnd) {
    LineFaults toReceiver;
    toReceiver.fault = [](uint64_t i, uint8_t&) { return i != 3 * 133; };
    XmodemRun run(6 * 128, toReceiver);
    run.run(XmodemVariant::Crc, XmodemVariant::Crc);
    EXPECT_EQ(run.sent, 0);
    EXPECT_EQ(run.got, 0);
    EXPECT_EQ(run.received(), run.data);
    EXPECT_EQ(run.receiver.ctx->stats().retries, 1u);
}

// The frame of block 2 with one byte inserted after its header, its data chosen so that the
// shifted block passes its check; the real last check byte is left over.
std::vector<uint8_t> misframedBlockTwo(size_t blockSize, bool crc, std::vector<uint8_t>& data) {
    std::vector<uint8_t> shifted(blockSize);
    uint8_t inserted = 0;
    for (uint32_t attempt = 0; attempt < (1u << 20); ++attempt) {
        inserted = static_cast<uint8_t>(attempt);
        std::mt19937 rng(attempt >> 8);
        data.resize(blockSize);
        std::generate(data.begin(), data.end(), [&] { return static_cast<uint8_t>(rng()); });
        shifted[0] = inserted;
        std::copy(data.begin(), data.end() - 1, shifted.begin() + 1);
        if (!crc) {
            data[blockSize - 1] = static_cast<uint8_t>(std::accumulate(shifted.begin(), shifted.end(), 0));
            break;
        }
        // The shifted check is the data's last byte and the high byte of the real CRC.
        uint16_t c = wire::crc16(shifted.data(), blockSize);
        data[blockSize - 1] = static_cast<uint8_t>(c >> 8);
        if (static_cast<uint8_t>(c) == wire::crc16(data.data(), blockSize) >> 8)
            break;
    }
    auto frame = xmodem::frameBlock(2, data.data(), blockSize, blockSize, crc);
    frame.insert(frame.begin() + 3, inserted);
    EXPECT_TRUE(xmodem::checkMatches(frame.data() + 3, blockSize, frame.data() + 3 + blockSize, crc));
    return frame;
}

TEST(XmodemFaults, ABlockMisframedByAnInsertedByteIsAskedForAgain) {
    struct Case {
        XmodemVariant variant;
        size_t blockSize;
    };
    for (auto c : {Case{XmodemVariant::Checksum, 128}, Case{XmodemVariant::Crc, 128},
                   Case{XmodemVariant::OneK, 1024}}) {
        SCOPED_TRACE(variantName(c.variant));
        bool crc = c.variant != XmodemVariant::Checksum;
        std::vector<uint8_t> data;
        auto misframed = misframedBlockTwo(c.blockSize, crc, data);
        auto first = testData(c.blockSize, 9);
        ScriptedSender run(c.variant);
        ASSERT_NO_FATAL_FAILURE(run.sendBlockOne(first, crc));
        const std::vector<uint8_t> eot{EOT};
        play(run.peer, {{misframed, NAK},
                        {xmodem::frameBlock(2, data.data(), c.blockSize, c.blockSize, crc), ACK},
                        {eot, NAK},
                        {eot, ACK}});
        first.insert(first.end(), data.begin(), data.end());
        EXPECT_EQ(run.receiver.finish(), 0);
        EXPECT_EQ(run.received(), first);
    }
}

// How a sender ends when the receiver's answers to its EOT go missing. A receiver that falls silent
// has taken the file and left, when every block was acknowledged; one that keeps asking has not.
// An EOT goes out only as an answer, so nothing follows the receiver's silence.
struct SilenceCase {
    const char* what;
    size_t size;
    std::vector<int> answers; // per EOT: the byte sent back, or -1 for none
    int expected;
};

void PrintTo(const SilenceCase& c, std::ostream* os) {
    *os << c.what;
}

const SilenceCase silenceCases[] = {
    {"a receiver that acknowledged every block and then says nothing", 2000, {-1}, 0},
    {"a receiver that NAKs the first EOT and then says nothing", 2000, {NAK, -1}, 0},
    {"a receiver that NAKs the first EOT and acknowledges the second", 2000, {NAK, ACK}, 0},
    {"a receiver that never acknowledges the EOT", 2000, {NAK, NAK, NAK, NAK, NAK, NAK}, TransferErrProtocol},
    {"an empty file whose EOT is acknowledged", 0, {ACK}, 0},
    {"an empty file whose EOTs go unanswered", 0, {NAK, -1}, TransferErrTimeout},
};

class XmodemSenderEnd : public ::testing::TestWithParam<SilenceCase> {};

TEST_P(XmodemSenderEnd, ReadsSilenceAfterItsEotAsTheReceiverHavingLeft) {
    const SilenceCase& c = GetParam();
    ScratchDir dir;
    auto data = testData(c.size);
    writeFile(dir.file("in"), data);
    MemoryChannelPair line;
    auto timings = quickTimings();
    timings.retries = 5;
    Side sender(line.a(), timings);
    sender.start([&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), XmodemVariant::OneK); });
    ScriptedPeer peer(line.b());
    peer.send(CRC_START);
    int blocks = 0;
    size_t eots = 0;
    auto lastEot = Clock::now();
    while (eots < c.answers.size()) {
        auto first = peer.take(1, 2s);
        if (first.empty())
            break;
        if (first[0] == EOT) {
            lastEot = Clock::now();
            int answer = c.answers[eots++];
            if (answer >= 0)
                peer.send(static_cast<uint8_t>(answer));
            continue;
        }
        peer.take(first[0] == xmodem::STX ? 1028 : 132);
        ++blocks;
        peer.send(ACK);
    }
    EXPECT_EQ(sender.finish(), c.expected);
    EXPECT_LT(Clock::now() - lastEot, timings.leaveWait + 500ms);
    EXPECT_EQ(blocks, c.size == 0 ? 0 : 2);
    EXPECT_EQ(eots, c.answers.size());
    // Nothing more went out: no EOT, and no cancel, into a line whose receiver has gone.
    const auto after = peer.take(1, 100ms);
    EXPECT_TRUE(after.empty() || (c.expected != 0 && c.answers.back() >= 0)) << int(after[0]);
}

INSTANTIATE_TEST_SUITE_P(Answers, XmodemSenderEnd, ::testing::ValuesIn(silenceCases),
                         [](const ::testing::TestParamInfo<SilenceCase>& info) {
                             return rowName(info.param.what);
                         });
