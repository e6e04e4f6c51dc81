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

// The same knob as on the pty: each byte at a wrong rate is answered with a byte of noise.
TEST_F(OnVirtualLine, NoiseAtAWrongRateNeverReadsAsAnAnswer) {
    Scenario sc;
    sc.noiseOnMismatch = true;
    start(sc);
    ASSERT_EQ(open(5, "9600"), 1);
    PurgeReceive();
    WriteCommand("at\r\n", 4);
    line->advanceMs(100);
    std::string noise;
    ASSERT_TRUE(ReadChunk(noise, 30));
    EXPECT_EQ(noise.size(), 4u);
    EXPECT_EQ(noise.find("OK"), std::string::npos);
    EXPECT_EQ(noise.find("at"), std::string::npos);
    EXPECT_TRUE(line->commandTexts().empty());
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

// Each query's marker lands where the monitor looks for it, in reads of the sizes it uses, with the
// echo in front of the reply.
TEST_F(OnVirtualLine, QueryRepliesFitTheReadsTheyAreLookedForIn) {
    start();
    ASSERT_EQ(open(9, "115200"), 1);
    struct Case {
        const char* command;
        std::vector<uint32_t> reads; // joined
        const char* marker;
        std::size_t latestStart;
    };
    for (const Case& c : {Case{"at+cpin?\r\n", {30, 30}, "READY", 59},
                          Case{"at+creg?\r\n", {31}, "+CREG", 24}, Case{"at+csq\r\n", {30}, "+CSQ: ", 24},
                          Case{"at*smstun?\r\n", {30}, ": 0", 27}, Case{"at*apver\r\n", {40, 40}, " v", 59},
                          Case{"at*apver\r\n", {30, 30}, "build", 55}, Case{"at+icf?\r\n", {30}, "OK", 28}}) {
        PurgeReceive();
        WriteCommand(c.command, static_cast<int>(std::string(c.command).size()));
        std::string joined;
        for (uint32_t size : c.reads) {
            std::string part;
            ASSERT_TRUE(ReadChunk(part, size));
            joined += part;
        }
        const auto at = joined.find(c.marker);
        EXPECT_LE(at, c.latestStart) << c.command << joined;
        line->advanceMs(200); // let the rest of the reply pass
    }

    PurgeReceive();
    WriteCommand("at+cops?\r\n", 10);
    std::string cops;
    ASSERT_TRUE(ReadChunk(cops, 51));
    const auto second = cops.find(',', cops.find(',') + 1);
    ASSERT_NE(second, std::string::npos) << cops;
    EXPECT_EQ(cops.substr(second + 1, 7), "\"00101\"");
    line->advanceMs(200);

    PurgeReceive();
    WriteCommand("at+wopn=0,00101\r\n", 17);
    std::string a;
    std::string b;
    ASSERT_TRUE(ReadChunk(a, 40));
    ASSERT_TRUE(ReadChunk(b, 40));
    const std::string name = a + b;
    const auto open = name.find('"');
    const auto close = name.find('"', open + 1);
    ASSERT_LT(close, 52u) << name;
    EXPECT_EQ(name.substr(open + 1, close - open - 1), "TestNet");
}

} // namespace
} // namespace q86sim::test
