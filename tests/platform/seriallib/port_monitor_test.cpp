#include "line_control.h"
#include "port_channel.h"
#include "port_fixture.h"

#include <atomic>

using namespace porttest;

namespace {

class DrivenLines : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = lines;
        return true;
    }
    bool setLines(int, int, int) override { return true; }
    std::atomic<int> lines{TIOCM_CTS | TIOCM_DSR};
};

class MonitorTest : public PortTest {
protected:
    void SetUp() override {
        PortTest::SetUp();
        comm::setLineControl(pty.slavePath(), lines);
        open();
    }
    void TearDown() override {
        PortTest::TearDown();
        comm::setLineControl(pty.slavePath(), nullptr);
    }
    std::shared_ptr<DrivenLines> lines = std::make_shared<DrivenLines>();
};

} // namespace

TEST_F(MonitorTest, ALineChangeGivesOneNoticeWithThePortNumber) {
    std::atomic<int> notices{0}, lastPort{0};
    ASSERT_EQ(SerialOnLineStatusChange(kPort,
                                       [&](int port) {
                                           lastPort = port;
                                           ++notices;
                                       }),
              0);
    lines->lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    ASSERT_TRUE(waitUntil([&] { return notices == 1; }));
    EXPECT_EQ(lastPort, kPort);
    EXPECT_EQ(SerialGetLineStatus(kPort), SerialLineCts | SerialLineDsr | SerialLineDcd);
    lines->lines = TIOCM_CTS;
    ASSERT_TRUE(waitUntil([&] { return notices == 2; }));
    // An empty callback stops the notices.
    ASSERT_EQ(SerialOnLineStatusChange(kPort, {}), 0);
    lines->lines = 0;
    EXPECT_EQ(SerialOnBreak(kPort, [](int) {}), 0); // a pty counts no breaks: accepted, never called
}

TEST_F(MonitorTest, NoNoticeAfterCloseReturns) {
    std::atomic<bool> closed{false};
    std::atomic<int> notices{0}, late{0};
    ASSERT_EQ(SerialOnLineStatusChange(kPort,
                                       [&](int) {
                                           ++notices;
                                           if (closed)
                                               ++late;
                                           std::this_thread::sleep_for(2ms); // a slow receiver
                                       }),
              0);
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
        while (!stop) {
            lines->lines ^= TIOCM_CAR;
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(waitUntil([&] { return notices > 3; }));
    ASSERT_EQ(SerialClose(kPort), 0);
    closed = true;
    int atClose = notices;
    std::this_thread::sleep_for(50ms); // the lines keep changing: nothing may arrive now
    stop = true;
    toggler.join();
    EXPECT_EQ(late, 0);
    EXPECT_EQ(notices, atClose);
}

TEST_F(MonitorTest, ACallbackMayCloseItsOwnPort) {
    std::atomic<int> result{1};
    std::atomic<bool> done{false};
    ASSERT_EQ(SerialOnLineStatusChange(kPort,
                                       [&](int port) {
                                           result = SerialClose(port);
                                           done = true;
                                       }),
              0);
    lines->lines = TIOCM_RNG;
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(SerialOpen(kPort), 0) << "the device was released";
}

TEST_F(PortTest, ChannelCarriesBytesAndSeesAborts) {
    EXPECT_EQ(
        seriallib::withPortChannel(kPort, [](seriallib::ByteChannel&, seriallib::PortAbort&) { return 0; }),
        TransferErrNotOpen);
    open();
    ASSERT_EQ(SerialSetReadTimeouts(kPort, -1, 0), 0); // transfers keep their own deadlines
    int r = seriallib::withPortChannel(kPort, [&](seriallib::ByteChannel& ch, seriallib::PortAbort& abort) {
        const uint8_t nak = 0x15;
        EXPECT_EQ(ch.write(&nak, 1, Clock::now() + 1s), 1);
        EXPECT_EQ(take(pty.master(), 1), "\x15");
        put(pty.master(), "\x06");
        uint8_t b[8];
        EXPECT_EQ(ch.read(b, 8, Clock::now() + 1s), 1);
        EXPECT_EQ(b[0], 0x06);

        auto start = Clock::now();
        EXPECT_EQ(ch.read(b, 8, Clock::now() + 150ms), 0);
        EXPECT_GE(msSince(start), 150);

        std::thread user([] { EXPECT_EQ(SerialAbortReceive(kPort), 0); });
        start = Clock::now();
        EXPECT_EQ(ch.read(b, 8, Clock::now() + 5s), 0);
        EXPECT_LT(msSince(start), 1000) << "an abort ends the wait";
        user.join();
        EXPECT_TRUE(abort.receive);
        EXPECT_FALSE(abort.transmit);
        // The cancel sequence still goes out.
        const uint8_t can[2] = {0x18, 0x18};
        EXPECT_EQ(ch.write(can, 2, Clock::now() + 1s), 2);
        EXPECT_EQ(take(pty.master(), 2), "\x18\x18");
        return 7;
    });
    EXPECT_EQ(r, 7);
    // The next transfer starts with the flags cleared.
    seriallib::withPortChannel(kPort, [](seriallib::ByteChannel& ch, seriallib::PortAbort& abort) {
        EXPECT_FALSE(abort.receive);
        uint8_t b;
        auto start = Clock::now();
        EXPECT_EQ(ch.read(&b, 1, Clock::now() + 50ms), 0);
        EXPECT_GE(msSince(start), 50);
        return 0;
    });
}

TEST_F(PortTest, CloseDuringATransferEndsItsReads) {
    open();
    std::atomic<bool> inside{false};
    int channelResult = 0;
    std::thread transfer([&] {
        seriallib::withPortChannel(kPort, [&](seriallib::ByteChannel& ch, seriallib::PortAbort&) {
            inside = true;
            uint8_t b[4];
            channelResult = ch.read(b, 4, Clock::now() + 10s);
            return 0;
        });
    });
    ASSERT_TRUE(waitUntil([&] { return inside.load(); }));
    auto start = Clock::now();
    EXPECT_EQ(SerialClose(kPort), 0);
    EXPECT_LT(msSince(start), 1000);
    transfer.join();
    EXPECT_EQ(channelResult, -1);
}
