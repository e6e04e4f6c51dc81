// The simulated modem on a pty, driven through the configurator's serial link.

#include "Configstruct.h"
#include "sim_fixture.h"

#include <chrono>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace q86sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST_F(SimOnPty, AnswersAtItsFactorySetting) {
    startModem();
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    const std::string apver = exchange("at*apver\r\n");
    EXPECT_NE(apver.find("at*apver\r\n\r\nBREL Q8690I v2.0.3 build 1234\r\n"), std::string::npos) << apver;
    EXPECT_EQ(modem->commandTexts(), (std::vector<std::string>{"at", "at*apver"}));
}

TEST_F(SimOnPty, EscapeInCommandModeIsEchoedAndOnLineGetsOk) {
    startModem();
    ASSERT_EQ(open(), 1);
    PurgeReceive();
    WriteCommand("+++", 3);
    EXPECT_TRUE(ReadsFind("+++", 8));
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    CloseComPort();

    Scenario online;
    online.connection = Connection::DataCall;
    online.guardMs = 300;
    startModem(online);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(IsDcdOn(), 1);
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), 0); // on line: data, not a command
    const auto start = Clock::now();
    EXPECT_EQ(SendAtExpectOk("+++", 3), 1);
    EXPECT_GE(Clock::now() - start, 300ms); // the OK waits for the guard time
    EXPECT_EQ(IsDcdOn(), 1);
    EXPECT_EQ(SendAtExpectOk("ath\r\n", 5), 1);
    EXPECT_EQ(IsDcdOn(), 0);
}

TEST_F(SimOnPty, CarrierComesOnAtTheEscape) {
    Scenario s;
    s.dcdOnEscape = true;
    startModem(s);
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(IsDcdOn(), 0);
    PurgeReceive();
    WriteCommand("+++", 3);
    EXPECT_TRUE(ReadsFind("+++", 8));
    EXPECT_EQ(IsDcdOn(), 1);
}

TEST_F(SimOnPty, CtsOffShowsInTheModemStatus) {
    Scenario s;
    s.cts = false;
    startModem(s);
    ASSERT_EQ(open(), 1);
    uint32_t status = 0;
    ASSERT_TRUE(ComHandle()->getModemStatus(&status));
    EXPECT_EQ(status & comm::MsCtsOn, 0u);
    modem->withModem([](Modem& m) { m.setCts(true); });
    ASSERT_TRUE(modem->waitIdle(1s));
    ASSERT_TRUE(ComHandle()->getModemStatus(&status));
    EXPECT_NE(status & comm::MsCtsOn, 0u);
}

struct FramingRow {
    const char* name;
    int baudIndex;
    const char* parity;
    const char* dataBits;
    const char* stopBits;
    bool answers;
};

class SimOnPtyFraming : public SimOnPty, public testing::WithParamInterface<FramingRow> {};

TEST_P(SimOnPtyFraming, SilentAtAnotherRateOrFraming) {
    const FramingRow& c = GetParam();
    startModem(with([](Scenario& s) { s.initialSettings = settingsAt(9600, 7, ParityEven, 1); }));
    ASSERT_EQ(open(c.baudIndex, c.parity, c.dataBits, c.stopBits), 1);
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), c.answers ? 1 : 0);
    EXPECT_EQ(modem->ignoredBytes() > 0, !c.answers);
    CloseComPort();
    EXPECT_EQ(modem->commandTexts(), c.answers ? std::vector<std::string>{"at"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Settings, SimOnPtyFraming,
                         testing::Values(FramingRow{"Rate", 9, "Even", "7", "1", false},
                                         FramingRow{"DataBits", 5, "Even", "8", "1", false},
                                         FramingRow{"Parity", 5, "Odd", "7", "1", false},
                                         FramingRow{"StopBits", 5, "None", "7", "2", false},
                                         FramingRow{"AllMatching", 5, "Even", "7", "1", true}),
                         [](const testing::TestParamInfo<FramingRow>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(SimOnPty, NoiseAtAWrongRateNeverReadsAsAnAnswer) {
    startModem(with([](Scenario& s) {
        s.initialSettings = settingsAt(9600);
        s.noiseOnMismatch = true;
    }));
    ASSERT_EQ(open(9), 1);
    PurgeReceive();
    WriteCommand("at\r\n", 4);
    std::string noise = collect("never", 4, 20);
    EXPECT_FALSE(noise.empty());
    EXPECT_EQ(noise.find("OK"), std::string::npos);
    EXPECT_EQ(noise.find("at"), std::string::npos);
}

TEST_F(SimOnPty, RateChangeAnswersAtTheOldRateThenSwitches) {
    startModem();
    ASSERT_EQ(open(9), 1);
    EXPECT_EQ(SendAtExpectOk("at+ipr=9600\r\n", 13), 1);
    EXPECT_EQ(modem->line().baud, 9600u);
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), 0);
    ASSERT_EQ(open(5), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    // Stop bits show through the pty, so this framing change can be followed from here.
    EXPECT_EQ(SendAtExpectOk("at+icf=1\r\n", 10), 1);
    EXPECT_EQ(modem->line(), (LineSetting{9600, 8, ParityNone, 2}));
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), 0);
    ASSERT_EQ(open(5, "None", "8", "2"), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    // Not stored: a restart goes back to the stored 115200 8N1.
    EXPECT_EQ(SendAtExpectOk("at+cfun=1\r\n", 11), 1);
    ASSERT_EQ(open(9), 1);
    const auto deadline = Clock::now() + 3s;
    int answered = 0;
    while (!answered && Clock::now() < deadline) {
        answered = SendAtExpectOkTries("at\r\n", 4, 2);
    }
    EXPECT_EQ(answered, 1);
}

// The restore sequence: move modem and port to 115200 8N1, reset, wait for the modem to come back.
TEST_F(SimOnPty, FactoryResetFromAnotherLineSetting) {
    Settings s = settingsAt(9600, 8, ParityNone, 2);
    s.s0 = 5;
    startModem(with([&s](Scenario& sc) {
        sc.initialSettings = s;
        sc.factoryResetMs = 300;
    }));
    ASSERT_EQ(open(5, "None", "8", "2"), 1);
    EXPECT_EQ(SendAtExpectOk("at+ipr=115200\r\n", 15), 1);
    ASSERT_EQ(open(9, "None", "8", "2"), 1);
    EXPECT_EQ(SendAtExpectOkTries("at+icf=3,4\r\n", 12, 3), 1)
        << modem->line().describe() << " ignored " << modem->ignoredBytes() << " "
        << modem->commandTexts().size();
    ASSERT_EQ(open(9), 1);
    SendAtExpectOk("at*default\r\n", 12);
    EXPECT_EQ(WaitForReply("up OK", 100), 1);
    EXPECT_EQ(WaitForReply("13", 50), 1);
    EXPECT_EQ(SendAtExpectOk("at&w\r\n", 6), 1);
    EXPECT_EQ(modem->stored(), Settings::factory());
}

TEST_F(SimOnPty, RepliesArePacedAtTheLineRate) {
    startModem(with([](Scenario& s) { s.initialSettings = settingsAt(1200); }));
    ASSERT_EQ(open(2), 1);
    const auto start = Clock::now();
    const std::string reply = exchange("at*apver\r\n", "OK\r\n", 20, 100);
    const auto took = Clock::now() - start;
    ASSERT_NE(reply.find("OK\r\n"), std::string::npos);
    // Echo, command and reply cross the line at 1200 baud, 10 bits a character.
    const auto expected = std::chrono::microseconds((10 + reply.size()) * 10 * 1'000'000 / 1200);
    EXPECT_GE(took, expected * 9 / 10);
    EXPECT_LT(took, expected + 1s);
}

TEST_F(SimOnPty, ReportParsesIntoEveryKeyAndProfileHoldsItsFields) {
    Settings s = Settings::factory();
    for (std::size_t k = 0; k < kConfigKeyCount; ++k) {
        s.values[k] = k % 2 ? "Yes" : "v" + std::to_string(k);
    }
    s.values[30] = s.values[26]; // the duplicate keys read the first of the two
    s.values[31] = s.values[27];
    s.s0 = 7;
    s.dtrDrop = 2;
    s.cbst = "71,0,1";
    startModem(with([&s](Scenario& sc) { sc.initialSettings = s; }));
    ASSERT_EQ(open(9, "None", "8", "1", true), 1);
    const std::string report = exchange("at*report\r\n");
    ASSERT_GT(report.size(), 100u);
    const auto cut = report.find("OK\r", 80);
    const ParsedConfig parsed = ParseConfigText(report.substr(0, cut));
    EXPECT_EQ(parsed.EmptyValueCount, 0);
    for (int k = 0; k < ::kConfigKeyCount; ++k) {
        const std::string want = s.reportValue(k).substr(0, ConfigKeyTable[k].MaxLength);
        EXPECT_EQ(parsed.values.at(k), want) << ConfigKeyTable[k].KeyText;
    }

    const std::string profile = exchange("at&v\r\n", "%C", 4, 100);
    for (const char* field : {"S0:007", "+CBST: 71,0,1", "&D: 2", "+ICF: 3,4", "+IFC: 2,2"}) {
        const auto at = profile.find(field);
        EXPECT_LT(at, 200u) << field;
    }
}

// Answers the dialogue from the configurator's own key table: each prompt is looked for by the
// configurator's key text, so a key typed differently on either side stops the walk.
TEST_F(SimOnPty, ConfigDialogueWalkWithSkips) {
    startModem(with([](Scenario& s) { s.promptDelayMs = 40; }));
    ASSERT_EQ(open(), 1);
    std::vector<std::string> answers(kConfigKeyCount, "No");
    answers[0] = "Depot";
    answers[1] = "5";
    answers[2] = "Yes";
    answers[3] = "4321";
    answers[6] = "Yes";
    for (int k = 7; k <= 11; ++k) {
        answers[static_cast<std::size_t>(k)] = "1";
    }
    answers[12] = "Yes";
    answers[36] = "Yes";
    answers[37] = std::string(39, 'c');
    answers[38] = "";
    PurgeReceive();
    WriteCommand("at*config\r\n", 11);
    std::vector<int> asked;
    int k = 0;
    while (k <= 42) {
        const std::string key = ConfigKeyTable[k].KeyText;
        ASSERT_TRUE(ReadsFind(key + ": ", 20, 50)) << "no prompt for " << key;
        const std::string line = answers[static_cast<std::size_t>(k)] + "\r\n";
        WriteCommand(line.data(), static_cast<int>(line.size()));
        asked.push_back(k);
        const bool no = line.rfind("No", 0) == 0 || line == "\r\n";
        k += no ? ConfigKeyTable[k].SkipCount : 1;
    }
    EXPECT_TRUE(ReadsFind("OK\r\n", 20));
    EXPECT_EQ(asked, (std::vector<int>{0,  1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12,
                                       13, 22, 25, 28, 32, 36, 37, 38, 39, 40, 41, 42}));
    const auto log = modem->answers();
    ASSERT_EQ(log.size(), asked.size());
    EXPECT_EQ(log[0].value, "Depot");
    EXPECT_EQ(modem->stored().values[37], std::string(39, 'c'));
}

TEST_F(SimOnPty, SurvivesGarbageOverlongLinesAndAClosedPort) {
    startModem();
    ASSERT_EQ(open(), 1);
    ASSERT_EQ(SendAtExpectOk("ate0\r\n", 6), 1);
    std::mt19937 rng(11);
    std::string junk(4000, '\0');
    for (char& c : junk) {
        c = static_cast<char>(rng() & 0xFF);
        if (c == '\r') {
            c = 'x'; // keep every junk byte on one line
        }
    }
    WriteCommand(junk.data(), static_cast<int>(junk.size()));
    WriteCommand("\r\n", 2);
    EXPECT_TRUE(ReadsFind("ERROR", 20)); // an overlong line
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);

    // The port is closed in the middle of a long reply and opened again.
    WriteCommand("at*report\r\n", 11);
    CloseComPort();
    ASSERT_TRUE(modem->waitForCommand("at*report", 2s));
    ASSERT_TRUE(modem->waitIdle(5s));
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
}

TEST_F(SimOnPty, StopsCleanlyWhileTheApplicationHoldsThePort) {
    startModem(with([](Scenario& s) { s.connection = Connection::DataCall; }));
    ASSERT_EQ(open(), 1);
    WriteCommand("+++", 3);
    const auto start = Clock::now();
    modem->stop();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 1), 0);
}

} // namespace
} // namespace q86sim::test
