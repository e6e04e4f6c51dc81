#include "Rs232_setup.h"
#include "scripted_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using enginetest::PortScript;
using enginetest::ScriptedPortInstall;
using testing::ElementsAre;

namespace {

TEST(PortName, PrefixFromTheTenthPort) {
    const struct {
        int index;
        const char* text;
        const char* name;
    } cases[] = {
        {0, "COM1", "COM1"},
        {8, "COM9", "COM9"},
        {9, "COM10", "\\\\.\\COM10"},
        {98, "COM99", "\\\\.\\COM99"},
        {99, "COM100", "\\\\.\\COM100"},
        {255, "COM256", "\\\\.\\COM256"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortNameForIndex(c.index, c.text), c.name) << c.index;
}

TEST(Converters, KnownTextsSetTheirFieldsOnly) {
    LineSettings = {};
    EXPECT_EQ(BaudTextToRate("300"), 1);
    EXPECT_EQ(LineSettings.BaudRate, 300u);
    EXPECT_EQ(BaudTextToRate("57600"), 1);
    EXPECT_EQ(LineSettings.BaudRate, 57600u);
    EXPECT_EQ(ParityTextToDcb("Space"), 1);
    EXPECT_EQ(LineSettings.Parity, comm::SpaceParity);
    EXPECT_EQ(ParityTextToDcb("Odd"), 1);
    EXPECT_EQ(LineSettings.Parity, comm::OddParity);
    EXPECT_EQ(DataBitsTextToDcb("7"), 1);
    EXPECT_EQ(LineSettings.ByteSize, 7);
    EXPECT_EQ(StopBitsTextToDcb("2"), 1);
    EXPECT_EQ(LineSettings.StopBits, comm::TwoStopBits);
    LineSettings.OutX = LineSettings.InX = true;
    EXPECT_EQ(FlowTextToDcb("Hardward (RTS)"), 1);
    EXPECT_EQ(LineSettings.RtsControl, comm::LineHandshake);
    EXPECT_EQ(LineSettings.DtrControl, comm::LineHandshake);
    EXPECT_FALSE(LineSettings.OutX || LineSettings.InX);

    // Texts that are no item of their box change nothing.
    const LineSettingsRecord before = LineSettings;
    for (const char* text : {"", "115201", "9600 ", "none", "Hardware (RTS)", "6", "1.5", "0"}) {
        EXPECT_EQ(BaudTextToRate(text) + ParityTextToDcb(text) + DataBitsTextToDcb(text) +
                      StopBitsTextToDcb(text) + FlowTextToDcb(text),
                  0)
            << text;
    }
    EXPECT_EQ(LineSettings, before);
    EXPECT_EQ(FlowTextToDcb("None"), 1);
    EXPECT_EQ(LineSettings.RtsControl, comm::LineEnable);
    EXPECT_EQ(LineSettings.DtrControl, comm::LineEnable);
}

TEST(Converters, LibraryBaudCodes) {
    const int expected[] = {5, 6, 7, 9, 10, 12, 13, 14, 15, 16};
    LinkSettings s;
    for (int index = -1; index <= 10; ++index) {
        s.BaudIndex = index;
        SetLinkSettings(s);
        EXPECT_EQ(BaudIndexToLibCode(), index >= 0 && index <= 9 ? expected[index] : 16) << index;
    }
    SetLinkSettings({});
    EXPECT_EQ(IntToText(-42), "-42");
}

// An open scripted port on virtual time; the link is closed again after each test.
class Link : public testing::Test {
protected:
    void SetUp() override {
        script->dcb.fOutxCtsFlow = true;
        script->dcb.fOutxDsrFlow = true;
        script->dcb.fParity = true;
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        LineSettings = {};
    }
    int open(const LinkSettings& s = {}) {
        SetLinkSettings(s);
        return OpenComPort();
    }
    int64_t now() const { return script->clock->now; }
    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    ScriptedPortInstall install{script};
};

TEST_F(Link, OpenFramesAndBoundsThePort) {
    LinkSettings s;
    s.PortIndex = 11;
    s.PortText = "COM12";
    s.BaudText = "9600";
    s.BaudIndex = 5;
    s.ParityText = "Even";
    s.DataBitsText = "7";
    s.StopBitsText = "2";
    s.FlowText = "Hardward (RTS)";
    ASSERT_EQ(open(s), 1);
    ASSERT_NE(ComHandle(), nullptr);
    EXPECT_THAT(script->openedNames, ElementsAre("\\\\.\\COM12"));
    const comm::Dcb& d = script->dcb;
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.Parity, comm::EvenParity);
    EXPECT_EQ(d.StopBits, comm::TwoStopBits);
    EXPECT_EQ(d.fRtsControl, comm::LineHandshake);
    EXPECT_EQ(d.fDtrControl, comm::LineHandshake);
    // The fields the framing does not own stay as the port had them.
    EXPECT_TRUE(d.fOutxCtsFlow && d.fOutxDsrFlow && d.fParity);
    EXPECT_THAT(script->log, ElementsAre("state", "timeouts"));
    EXPECT_EQ(script->timeouts, (comm::CommTimeouts{30, 12, 300, 10, 100}));

    // Reframing with a text no box holds keeps that field's last value.
    s.ParityText = "Bogus";
    s.BaudText = "115200";
    s.BaudIndex = 9;
    SetLinkSettings(s);
    EXPECT_EQ(ConfigureComPort(), 1);
    EXPECT_EQ(d.Parity, comm::EvenParity);
    EXPECT_EQ(d.BaudRate, 115200u);
}

TEST_F(Link, TimeoutRowsFollowRateAndOperation) {
    const comm::CommTimeouts reading[] = {
        {550, 50, 3500, 40, 100}, {400, 40, 3000, 30, 100}, {200, 35, 2000, 30, 100},
        {100, 30, 1000, 20, 100}, {50, 20, 800, 20, 100},   {30, 15, 300, 10, 100},
        {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},
        {20, 10, 200, 10, 100},
    };
    const comm::CommTimeouts standard[] = {
        {550, 40, 1800, 50, 100}, {400, 30, 1500, 30, 100}, {200, 25, 1200, 30, 100},
        {100, 20, 1000, 20, 100}, {50, 15, 500, 20, 100},   {30, 12, 300, 10, 100},
        {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},   {20, 10, 200, 10, 100},
        {20, 10, 100, 10, 100},
    };
    const char* rates[] = {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    ASSERT_EQ(open(), 1);
    for (bool opRead : {true, false}) {
        for (int index = 0; index < 10; ++index) {
            LinkSettings s;
            s.BaudIndex = index;
            s.BaudText = rates[index];
            s.OpRead = opRead;
            SetLinkSettings(s);
            ASSERT_EQ(ConfigureComPort(), 1);
            EXPECT_EQ(script->timeouts, opRead ? reading[index] : standard[index])
                << "index " << index << " OpRead " << opRead;
            EXPECT_EQ(PortTimeouts, script->timeouts);
        }
    }
}

TEST_F(Link, ZeroIntervalAndMultiplierMeanNone) {
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(SetPortTimeouts(0, 0, 70, 10, 100), 1);
    EXPECT_EQ(script->timeouts, (comm::CommTimeouts{comm::kMaxDword, comm::kMaxDword, 70, 10, 100}));
    EXPECT_EQ(SetPortTimeouts(20, 10, 0, 0, 0), 1);
    EXPECT_EQ(script->timeouts, (comm::CommTimeouts{20, 10, 0, 0, 0}));
    script->setTimeoutsOk = false;
    EXPECT_EQ(SetPortTimeouts(20, 10, 100, 10, 100), 0);
}

TEST_F(Link, PortThatCannotBeFramedOrBoundedIsNotKept) {
    for (int fault = 0; fault < 3; ++fault) {
        script->getStateOk = fault != 0;
        script->setStateOk = fault != 1;
        script->setTimeoutsOk = fault != 2;
        EXPECT_EQ(open(), 0) << fault;
        EXPECT_EQ(ComHandle(), nullptr);
        EXPECT_EQ(script->openPorts, 0);
        EXPECT_EQ(CloseComPort(), 0);
    }
}

TEST_F(Link, RefusedFramingKeepsTheTimeouts) {
    ASSERT_EQ(open(), 1);
    const comm::CommTimeouts before = script->timeouts;
    script->setStateOk = false;
    LinkSettings s;
    s.OpRead = true;
    SetLinkSettings(s);
    EXPECT_EQ(ConfigureComPort(), 0);
    EXPECT_EQ(script->timeouts, before);
    EXPECT_NE(ComHandle(), nullptr);
}

TEST_F(Link, OpenCloseLifecycle) {
    install.refuse = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(CloseComPort(), 0);
    // Nothing to talk to: every exchange fails at once and harmlessly.
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 0);
    EXPECT_EQ(WaitForReply("OK", 5), 0);
    EXPECT_EQ(IsDcdOn(), 0);
    EXPECT_EQ(ConfigureComPort(), 0);

    install.refuse = false;
    ASSERT_EQ(open(), 1);
    // Opening again closes the port held so far.
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(script->openPorts, 1);
    EXPECT_EQ(CloseComPort(), 1);
    EXPECT_EQ(CloseComPort(), 0);
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(script->openPorts, 0);
}

TEST_F(Link, CarrierFromModemStatus) {
    ASSERT_EQ(open(), 1);
    const struct {
        uint32_t status;
        bool ok;
        int dcd;
    } cases[] = {
        {comm::MsRlsdOn, true, 1},
        {comm::MsRlsdOn | comm::MsCtsOn | comm::MsDsrOn, true, 1},
        {comm::MsCtsOn | comm::MsDsrOn | comm::MsRingOn, true, 0},
        {comm::MsRlsdOn, false, 0},
    };
    for (const auto& c : cases) {
        script->modemStatus = c.status;
        script->modemStatusOk = c.ok;
        EXPECT_EQ(IsDcdOn(), c.dcd) << c.status << " " << c.ok;
    }
}

// Queues the given bursts as the answer to every write.
void answerWith(PortScript& script, std::vector<std::string> bursts) {
    script.onWrite = [bursts](PortScript& s, std::string_view) {
        for (const auto& b : bursts)
            s.reply(b);
    };
}

struct ExchangeCase {
    const char* name;
    std::vector<std::string> bursts; // "!" stands for a failed read
    int reads;
    int result;
    int readsMade;
};
void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.name;
}

class Exchange : public Link, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchange, LooksForOkWithinItsReads) {
    const ExchangeCase& c = GetParam();
    ASSERT_EQ(open(), 1);
    script->log.clear();
    script->onWrite = [&c](PortScript& s, std::string_view) {
        for (const auto& b : c.bursts) {
            if (b == "!")
                s.failRead();
            else
                s.reply(b);
        }
    };
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, c.reads), c.result);
    ASSERT_GE(script->log.size(), 2u);
    EXPECT_EQ(script->log[0], "purge");
    EXPECT_EQ(script->log[1], "write at\r\n");
    EXPECT_EQ(static_cast<int>(script->readSizes.size()), c.readsMade);
    for (uint32_t size : script->readSizes)
        EXPECT_EQ(size, kReplyReadSize);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Exchange,
    testing::Values(ExchangeCase{"OkInOneRead", {"\r\nOK\r\n"}, 8, 1, 1},
                    ExchangeCase{"EchoThenOk", {"at\r\r\n", "OK\r\n"}, 8, 1, 2},
                    ExchangeCase{"OkAfterTwentyBytes", {std::string(20, 'x'), "OK"}, 8, 1, 2},
                    ExchangeCase{"OkSplitOverReads", {std::string(19, 'x') + "O", "K\r\n"}, 8, 1, 2},
                    ExchangeCase{"OkInsideWord", {"TOKEN"}, 8, 1, 1},
                    ExchangeCase{"OkAfterNul", {std::string("\0\0OK", 4)}, 8, 1, 1},
                    ExchangeCase{"LowerCaseIsNoOk", {"ok\r\n", "Ok", "oK"}, 8, 0, 8},
                    ExchangeCase{"OThenOtherK", {"O", "xK"}, 8, 0, 8}, ExchangeCase{"Silence", {}, 8, 0, 8},
                    ExchangeCase{"ErrorReply", {"\r\nERROR\r\n"}, 3, 0, 3},
                    ExchangeCase{"FailedReadsCount", {"!", "!", "OK"}, 2, 0, 2},
                    ExchangeCase{"OkAfterFailedRead", {"!", "OK"}, 2, 1, 2},
                    ExchangeCase{"OkBeyondTheBudget", {"a", "b", "OK"}, 2, 0, 2},
                    ExchangeCase{"NoReads", {"OK"}, 0, 0, 0},
                    ExchangeCase{"NegativeReads", {"OK"}, -3, 0, 0}),
    [](const testing::TestParamInfo<ExchangeCase>& info) { return std::string(info.param.name); });

TEST_F(Link, StaleOkBeforeTheCommandIsDropped) {
    ASSERT_EQ(open(), 1);
    script->reply("\r\nOK\r\n");
    EXPECT_EQ(SendAtExpectOk("at+cfun=1\r\n", 11), 0);
    EXPECT_EQ(script->readSizes.size(), 8u);
    EXPECT_THAT(script->writes, ElementsAre("at+cfun=1\r\n"));
}

TEST_F(Link, SilentExchangeTakesItsReadTimeouts) {
    LinkSettings s; // 115200, standard table: 10 ms x 20 bytes + 100 ms per read
    ASSERT_EQ(open(s), 1);
    int64_t start = now();
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 0);
    EXPECT_EQ(now() - start, 8 * 300);

    s.BaudIndex = 0;
    s.BaudText = "300";
    s.OpRead = true; // 50 ms x 20 + 3500 ms
    SetLinkSettings(s);
    ASSERT_EQ(ConfigureComPort(), 1);
    start = now();
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), 0);
    EXPECT_EQ(now() - start, 2 * 4500);
}

TEST_F(Link, CommandsGoOutAsGiven) {
    ASSERT_EQ(open(), 1);
    answerWith(*script, {"OK"});
    EXPECT_EQ(SendAtExpectOk("+++", 3), 1);
    EXPECT_EQ(SendAtExpectOk("ate1\r\nignored", 6), 1);
    EXPECT_EQ(SendAtExpectOk(nullptr, 4), 0); // nothing written, so nothing answers
    EXPECT_THAT(script->writes, ElementsAre("+++", "ate1\r\n"));
}

TEST_F(Link, WaitForReplyFindsSplitTexts) {
    ASSERT_EQ(open(), 1);
    const struct {
        const char* text;
        std::vector<std::string> bursts;
        int reads;
        int result;
        size_t readsMade;
    } cases[] = {
        {"up OK", {"\r\nsetting up OK\r\n"}, 100, 1, 1},
        {"up OK", {std::string(16, '.') + "up O", "K\r\n"}, 100, 1, 2},
        {"up OK", {"u", "p", " O", "K"}, 100, 1, 4},
        {"up OK", {"up O", "x", "K"}, 5, 0, 5},
        {"13", {std::string(19, ' ') + "1", "3"}, 50, 1, 2},
        {"13", {"1", "2", "3"}, 3, 0, 3},
        {"13", {}, 50, 0, 50},
        {"13", {"13"}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        script->input.clear();
        script->readSizes.clear();
        script->log.clear();
        for (const auto& b : c.bursts)
            script->reply(b);
        EXPECT_EQ(WaitForReply(c.text, c.reads), c.result) << c.text << " " << c.bursts.size();
        EXPECT_EQ(script->readSizes.size(), c.readsMade) << c.text << " " << c.bursts.size();
        // It only listens.
        for (const auto& entry : script->log)
            EXPECT_THAT(entry, testing::StartsWith("read ")) << c.text;
    }
}

TEST_F(Link, CarryOverStartsEmptyOnEachCall) {
    ASSERT_EQ(open(), 1);
    script->reply("O");
    EXPECT_EQ(WaitForReply("OK", 1), 0);
    script->reply("K");
    EXPECT_EQ(WaitForReply("OK", 1), 0);
}

TEST_F(Link, CollectReadsGivesMatchTheCarriedBytes) {
    ASSERT_EQ(open(), 1);
    for (const char* b : {"abcd", "efgh", "ij"})
        script->reply(b);
    std::vector<std::string> seen;
    EXPECT_FALSE(CollectReads(4, 3, 2, [&](std::string_view w) {
        seen.emplace_back(w);
        return false;
    }));
    EXPECT_THAT(seen, ElementsAre("abc", "bcd", "cdefg", "fgh"));
}

TEST(LinkClockSeam, SleepsGoToTheInstalledClock) {
    auto clock = std::make_shared<enginetest::VirtualClock>();
    engine::setLinkClock(clock);
    SleepMs(3000);
    SleepMs(0);
    EXPECT_EQ(clock->now, 3000);
    EXPECT_EQ(engine::linkClock()->nowMs(), 3000);
    engine::setLinkClock(nullptr);
    const int64_t before = engine::linkClock()->nowMs();
    SleepMs(30);
    EXPECT_GE(engine::linkClock()->nowMs() - before, 30);
    EXPECT_EQ(clock->now, 3000);
}

} // namespace
