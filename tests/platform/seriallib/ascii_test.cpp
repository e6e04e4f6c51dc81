#include "ascii.h"
#include "transfer_pair.h"

#include <gtest/gtest.h>

#include <thread>

using namespace seriallib;
using namespace transfer_test;

namespace {

TEST(Ascii, SendWritesTheFileAsItIsAndReceiveKeepsItAfterTheLineGoesQuiet) {
    ScratchDir dir;
    auto data = testData(5000);
    writeFile(dir.file("in"), data);
    MemoryChannelPair line;
    Side sender(line.a()), receiver(line.b());
    receiver.start([&](TransferContext& ctx) { return asciiReceive(ctx, dir.file("out"), 300ms); });
    sender.start([&](TransferContext& ctx) { return asciiSend(ctx, dir.file("in")); });
    EXPECT_EQ(sender.finish(), 0);
    EXPECT_EQ(receiver.finish(), 0);
    EXPECT_EQ(readFile(dir.file("out")), data);
    sender.log.expectMonotoneToTotal(5000);
}

TEST(Ascii, AStoppedCaptureKeepsWhatCameAndReportsTheStop) {
    for (bool byCallback : {false, true}) {
        SCOPED_TRACE(byCallback ? "callback" : "abort");
        ScratchDir dir;
        MemoryChannelPair line;
        Side receiver(line.b());
        receiver.start([&](TransferContext& ctx) { return asciiReceive(ctx, dir.file("out"), 30s); });
        std::string text = "line one\r\nline two\r\n";
        line.a().write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), Clock::now());
        for (;;) { // until the receiver has the text
            std::lock_guard lock(receiver.log.mutex);
            if (!receiver.log.calls.empty() &&
                receiver.log.calls.back().first == static_cast<int>(text.size()))
                break;
        }
        auto asked = Clock::now();
        if (byCallback)
            receiver.stopFromCallback = true;
        else
            receiver.abort.receive = true;
        EXPECT_EQ(receiver.finish(), byCallback ? TransferErrUserAbort : TransferErrAborted);
        EXPECT_LT(Clock::now() - asked, 200ms);
        auto got = readFile(dir.file("out"));
        EXPECT_EQ(std::string(got.begin(), got.end()), text);
    }
}

TEST(Ascii, ACaptureThatGetsNothingTimesOutAndLeavesThePathAlone) {
    ScratchDir dir;
    writeFile(dir.file("out"), testData(3));
    MemoryChannelPair line;
    TransferContext ctx(line.b(), nullptr, {}, quickTimings());
    EXPECT_EQ(asciiReceive(ctx, dir.file("out"), 100ms), TransferErrTimeout);
    EXPECT_EQ(readFile(dir.file("out")), testData(3));
    EXPECT_EQ(asciiSend(ctx, dir.file("missing")), TransferErrFile);
    EXPECT_EQ(asciiReceive(ctx, dir.file("no/such/out"), 100ms), TransferErrFile);
    // A line that hangs up before anything came leaves it alone as well.
    line.close();
    EXPECT_EQ(asciiReceive(ctx, dir.file("out"), 100ms), TransferErrNotOpen);
    EXPECT_EQ(readFile(dir.file("out")), testData(3));
}

} // namespace
