// The modem behind a port on a virtual clock, driven through the configurator's link.

#include "link_clock.h"
#include "Rs232_setup.h"
#include "virtual_line.h"

#include <gtest/gtest.h>

#include <chrono>

namespace q86sim::test {
namespace {

using Clock = std::chrono::steady_clock;

// The engine's pauses advance the line's clock.
class LineClock : public engine::LinkClock {
public:
    explicit LineClock(std::shared_ptr<VirtualLine> line) : line_(std::move(line)) {}
    int64_t nowMs() override { return line_->nowUs() / 1000; }
    void sleepMs(int ms) override { line_->advanceMs(ms); }

private:
    std::shared_ptr<VirtualLine> line_;
};

class OnVirtualLine : public testing::Test {
protected:
    void start(Scenario s = {}) {
        line = std::make_shared<VirtualLine>(std::move(s));
        comm::setPortOpener([l = line](const std::string&) { return l->open(); });
        engine::setLinkClock(std::make_shared<LineClock>(line));
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        comm::setPortOpener({});
        engine::setLinkClock(nullptr);
    }
    int open(int baudIndex, const char* baudText, const char* stopBits = "1") {
        LinkSettings l;
        l.BaudIndex = baudIndex;
        l.BaudText = baudText;
        l.StopBitsText = stopBits;
        SetLinkSettings(l);
        return OpenComPort();
    }
    std::shared_ptr<VirtualLine> line;
};

TEST_F(OnVirtualLine, ExchangesTakeLineTimeNotRealTime) {
    Settings s = Settings::factory();
    s.line.baud = 300;
    start([&s] {
        Scenario sc;
        sc.initialSettings = s;
        return sc;
    }());
    ASSERT_EQ(open(0, "300"), 1);
    const auto real = Clock::now();
    const int64_t before = line->nowUs();
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    const int64_t took = line->nowUs() - before;
    // "at\r\n" in, its echo and "\r\nOK\r\n" out: 14 characters of 10 bits at 300 baud at least.
    EXPECT_GE(took, 14 * 10 * 1'000'000 / 300 - 50'000);
    EXPECT_LT(Clock::now() - real, std::chrono::seconds(1));
}

TEST_F(OnVirtualLine, SilentAtAnotherRate) {
    start();
    ASSERT_EQ(open(5, "9600"), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 0);
    EXPECT_TRUE(line->commandTexts().empty());
    ASSERT_EQ(open(9, "115200"), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
}

// The application switches as soon as it has read "OK", while the modem's last LF is still on its
// way: the modem has switched by the time the next command has crossed the line.
TEST_F(OnVirtualLine, RateSwitchHoldsForTheNextCommand) {
    Settings s = Settings::factory();
    s.line.baud = 9600;
    start([&s] {
        Scenario sc;
        sc.initialSettings = s;
        return sc;
    }());
    ASSERT_EQ(open(5, "9600"), 1);
    EXPECT_EQ(SendAtExpectOk("at+ipr=115200\r\n", 15), 1);
    ASSERT_EQ(open(9, "115200"), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    EXPECT_EQ(line->wire().baud, 115200u);
}

TEST_F(OnVirtualLine, FactoryResetAndEscapeWithFullPauses) {
    Scenario sc;
    sc.connection = Connection::DataCall;
    start(sc);
    const auto real = Clock::now();
    ASSERT_EQ(open(9, "115200"), 1);
    EXPECT_EQ(IsDcdOn(), 1);
    EXPECT_EQ(SendAtExpectOk("+++", 3), 1); // a full second of guard time, virtually
    SendAtExpectOk("at*default\r\n", 12);
    EXPECT_EQ(WaitForReply("up OK", 100), 1);
    EXPECT_EQ(WaitForReply("13", 50), 1);
    EXPECT_EQ(IsDcdOn(), 0);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    EXPECT_LT(Clock::now() - real, std::chrono::seconds(1));
    EXPECT_GE(line->nowUs(), 2'000'000);
}

} // namespace
} // namespace q86sim::test
