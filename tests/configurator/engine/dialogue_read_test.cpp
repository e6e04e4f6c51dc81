// Escape, probe, settings report and profile on a scripted port: exact reads, budgets and markers.
#include "Configstruct.h"
#include "Loadthread.h"
#include "recording_view.h"
#include "Rs232_setup.h"
#include "scripted_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using enginetest::PortScript;
using enginetest::ScriptedPortInstall;
using enginetest::ViewInstall;
using testing::ElementsAre;

namespace {

class ScriptedLink : public testing::Test {
protected:
    void openAt(int baudIndex, bool opRead = false) {
        LinkSettings l;
        l.BaudIndex = baudIndex;
        static const char* texts[] = {"300",  "600",   "1200",  "2400",  "4800",
                                      "9600", "19200", "38400", "57600", "115200"};
        l.BaudText = texts[baudIndex];
        l.OpRead = opRead;
        SetLinkSettings(l);
        ASSERT_EQ(OpenComPort(), 1);
        script->log.clear();
        script->writes.clear();
        script->readSizes.clear();
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
    }
    // Queues bytes as a modem streaming them: each read of `chunk` bytes gets the next piece.
    void stream(const std::string& bytes, size_t chunk) {
        for (size_t at = 0; at < bytes.size(); at += chunk)
            script->reply(bytes.substr(at, chunk));
    }
    // Answers the command with the bursts; other writes get nothing.
    void answer(const std::string& command, std::vector<std::string> bursts) {
        replies[command] = std::move(bursts);
        script->onWrite = [this](PortScript& s, std::string_view bytes) {
            auto it = replies.find(std::string(bytes));
            if (it == replies.end())
                return;
            for (const std::string& b : it->second)
                s.reply(b);
        };
    }
    long count(const std::string& entry) { return std::count(script->log.begin(), script->log.end(), entry); }

    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    ScriptedPortInstall install{script};
    ViewInstall ui;
    std::map<std::string, std::vector<std::string>> replies;
};

// "Key=value" lines for the given values, every other key empty.
std::string reportLines(const std::map<int, std::string>& values) {
    std::string t;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        auto it = values.find(k);
        t += std::string(ConfigKeyTable[k].KeyText) + "=" + (it == values.end() ? "" : it->second) + "\r\n";
    }
    return t;
}

const std::string kProfile = "at&v\r\r\nE1 Q0\r\nS0:003 S7:060\r\n+CBST: 71,0,1\r\n&D: 2\r\n+ICF: 5,1\r\n"
                             "+IFC: 0,0\r\n%C0 &S1\r\n\r\nOK\r\n";

TEST_F(ScriptedLink, EscapeSpendsTwoTriesOfItsReadBudget) {
    const struct {
        int baudIndex;
        int readsPerTry;
    } cases[] = {{0, 2}, {2, 2}, {3, 8}, {5, 8}, {9, 8}};
    for (const auto& c : cases) {
        openAt(c.baudIndex);
        EXPECT_EQ(EscapeToCommandMode(), 0) << c.baudIndex;
        EXPECT_EQ(script->writes, (std::vector<std::string>{"+++", "+++"})) << c.baudIndex;
        EXPECT_EQ(count("read 20"), 2 * c.readsPerTry) << c.baudIndex;
        EXPECT_EQ(count("purge"), 1) << c.baudIndex;
    }
}

TEST_F(ScriptedLink, EscapeAndProbeReplies) {
    const struct {
        bool probe;
        std::vector<std::string> bursts;
        int result;
    } cases[] = {
        {false, {"+++\r\nOK\r\n"}, 2},  {false, {"\r\nOK\r\n"}, 1},
        {false, {"\r\n+", "++"}, 2}, // the echo split over two reads
        {false, {"\r\nO", "K\r\n"}, 1}, {false, {"\r\nERROR\r\n"}, 0},
        {true, {"at\r\r\nOK\r\n"}, 2},  {true, {"\r\nOK\r\n"}, 1},
        {true, {"\r\nERROR\r\n"}, 0},
    };
    for (const auto& c : cases) {
        openAt(9);
        answer(c.probe ? "at\r\n" : "+++", c.bursts);
        EXPECT_EQ(c.probe ? ProbeAt() : EscapeToCommandMode(), c.result) << c.bursts[0];
        if (c.result == 0) {
            EXPECT_EQ(script->writes.size(), 2u);
        }
    }
}

TEST_F(ScriptedLink, ReportIsReadParsedAndFollowedByTheProfile) {
    openAt(5, true);
    const std::string report =
        "at*report\r\r\n" + reportLines({{0, "Office"}, {6, "Yes"}, {7, "6"}, {45, "71"}}) + "\r\nOK\r\n";
    script->onWrite = [&](PortScript&, std::string_view bytes) {
        if (bytes == "at*report\r\n")
            stream(report, 160);
        else if (bytes == "at&v\r\n")
            stream(kProfile, 100);
    };
    EXPECT_EQ(ReadModemReport(), 1);
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0].at(0), "Office");
    EXPECT_EQ(ui.applied[0].at(7), "6");
    EXPECT_EQ(ui.applied[0].at(45), "71");
    EXPECT_EQ(LastEmptyValueCount(), 42);
    EXPECT_EQ(ui.view->progress, 30);
    EXPECT_TRUE(ui.view->logOf("main baud").empty()); // the report configures the serial port
    EXPECT_THAT(ui.view->logOf("progress"), ElementsAre("progress 28", "progress 29", "progress 30"));
    EXPECT_THAT(script->readSizes, testing::Contains(160u));
    EXPECT_THAT(ui.view->logOf("autoanswer"), ElementsAre("autoanswer on 003"));
}

TEST_F(ScriptedLink, ReportWithoutSerialSettingsShowsTheRateReached) {
    openAt(6, true);
    ui.view->configSerial = false;
    const std::string report = reportLines({{0, "A"}}) + "\r\nOK\r\n";
    answer("at*report\r\n", {report});
    EXPECT_EQ(ReadModemReport(), 1);
    EXPECT_THAT(ui.view->logOf("main baud"), ElementsAre("main baud 6"));
}

// The final OK line of a report placed at every position across a 160-byte read boundary.
TEST_F(ScriptedLink, FinalOkSplitOverTwoReadsEndsTheReport) {
    const std::string lines = reportLines({{0, "x"}, {42, "tail"}});
    for (size_t before = 0; before <= 6; ++before) {
        openAt(9, true);
        ui.applied.clear();
        // Padding in front moves the "O" of the OK line to `before` bytes ahead of a boundary.
        const size_t okAt = (lines.size() + 2) / 160 * 160 + 160 - before;
        const std::string report = std::string(okAt - lines.size() - 2, '#') + lines + "\r\nOK\r\n";
        script->onWrite = [&](PortScript&, std::string_view bytes) {
            if (bytes == "at*report\r\n")
                stream(report, 160);
        };
        EXPECT_EQ(ReadModemReport(), 1) << before;
        ASSERT_EQ(ui.applied.size(), 1u) << before;
        EXPECT_EQ(ui.applied[0].at(42), "tail") << before;
        // It ends at the marker: no read waits after the report.
        EXPECT_EQ(count("read 160"), static_cast<long>((report.size() + 159) / 160)) << before;
    }
}

TEST_F(ScriptedLink, ValuesEndingInOkAreData) {
    openAt(9, true);
    const std::string report =
        reportLines({{0, "BOOK"}, {6, "Yes"}, {37, "at+cmee=1;OK"}, {13, "Yes"}, {45, "7"}}) + "\r\nOK\r\n";
    answer("at*report\r\n", {report.substr(0, 20), report.substr(20)}); // "BOOK\r\n" ends a read
    EXPECT_EQ(ReadModemReport(), 1);
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0].at(0), "BOOK");
    EXPECT_EQ(ui.applied[0].at(6), "Yes");
    EXPECT_EQ(ui.applied[0].at(13), "Yes");
    EXPECT_EQ(ui.applied[0].at(37), "at+cmee=1;OK");
    EXPECT_EQ(ui.applied[0].at(45), "7");
}

TEST_F(ScriptedLink, ReportRefusalsAndShortfalls) {
    const std::string full = reportLines({{0, "A"}});
    const struct {
        const char* name;
        std::vector<std::string> bursts;
        int result;
        int progress;
    } cases[] = {
        {"enter sms", {"at*report\r\r\nEnter SMS text:\r\n"}, -1, 0},
        {"mode", {"\r\nMode...SMS\r\n"}, -1, 0},
        {"refusal split over reads", {"\r\n" + full.substr(0, 150) + "Enter S", "MS\r\n"}, -1, 0},
        {"100 bytes", {std::string(94, 'x') + "\r\nOK\r\n"}, -1, 28},
        {"stops mid-report", {full.substr(0, 160), full.substr(160, 160)}, -2, 0},
        {"silent", {}, -2, 0},
    };
    for (const auto& c : cases) {
        openAt(9, true);
        ui.applied.clear();
        answer("at*report\r\n", c.bursts);
        EXPECT_EQ(ReadModemReport(), c.result) << c.name;
        EXPECT_TRUE(ui.applied.empty()) << c.name;
        EXPECT_EQ(ui.view->progress, c.progress) << c.name;
        EXPECT_TRUE(ui.view->logOf("autoanswer").empty()) << c.name; // no profile read
    }
}

TEST_F(ScriptedLink, ReportOfMoreThanAHundredBytesIsParsedAndCutAtItsOkLine) {
    openAt(9, true);
    // 101 bytes: a key line padded to length, then the OK line.
    std::string body = "Device Alias=Z\r\n";
    body += std::string(101 - body.size() - 6, '.') + "\r\nOK\r\n";
    ASSERT_EQ(body.size(), 101u);
    answer("at*report\r\n", {body + "Use PIN=Yes\r\n"});
    EXPECT_EQ(ReadModemReport(), 1);
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0].at(0), "Z");
    EXPECT_EQ(ui.applied[0].at(2), ""); // after the OK line: cut off
}

TEST_F(ScriptedLink, ProfileFields) {
    const struct {
        std::string profile;
        int result;
        std::vector<std::string> calls;
    } cases[] = {
        {kProfile,
         1,
         {"autoanswer on 003", "bearer 71", "dtr 2", "main data 7", "main stop 1", "main parity Even",
          "main flow None"}},
        {"S0:000\r\n+CBST: 8,0,1\r\n&D: 1\r\n+ICF: 1,4\r\n+IFC: 2,2\r\n%C0\r\nOK\r\n",
         1,
         {"autoanswer off", "dtr 1", "main data 8", "main stop 2", "main parity None",
          "main flow Hardward (RTS)"}},
        {"S0:300\r\n+CBST: 0,0,1\r\n&D: 7\r\n+ICF: 9,4\r\n+IFC: 1,1\r\n%C0\r\nOK\r\n",
         1,
         {"autoanswer on 255", "bearer 0"}},
        {"S0:003\r\n+CBST: 7,0,1\r\n+IFC: 0,0\r\nOK\r\n", 0, {}}, // no %C: nothing changes
        {"S0:002\r\n+CBST: 7,0,1\r\n" + std::string(200, ' ') + "+IFC: 0,0\r\n%C0\r\nOK\r\n",
         0,
         {"autoanswer on 002", "bearer 7"}},
    };
    for (const auto& c : cases) {
        openAt(9);
        ui.view = std::make_shared<enginetest::RecordingView>();
        setEngineView(ui.view);
        script->clock->sleeps.clear();
        script->onWrite = [&](PortScript& s, std::string_view bytes) {
            if (bytes == "at&v\r\n")
                for (size_t at = 0; at < c.profile.size(); at += 100)
                    s.reply(c.profile.substr(at, 100));
        };
        EXPECT_EQ(ReadModemProfile(), c.result) << c.profile;
        EXPECT_EQ(ui.view->log(), c.calls) << c.profile;
        EXPECT_THAT(script->clock->sleeps, ElementsAre(30)); // the modem's pause before the first read
    }
}

TEST_F(ScriptedLink, ProfileReadThatFailsOnTheLine) {
    openAt(9);
    script->onWrite = [](PortScript& s, std::string_view bytes) {
        if (bytes == "at&v\r\n") {
            s.reply("S0:003\r\n");
            s.failRead();
        }
    };
    EXPECT_EQ(ReadModemProfile(), -1);
    EXPECT_TRUE(ui.view->log().empty());
}

TEST_F(ScriptedLink, ApVersionStopsAtErrorAndAsksOnce) {
    const struct {
        const char* name;
        std::vector<std::string> bursts;
        int result;
        long reads;
    } cases[] = {
        {"error", {"\r\nERROR\r\n"}, 0, 2},
        {"silence", {}, 0, 4},
        {"found in the second pair", {"", "", "\r\nBREL Q8630 v3.1 build 77\r\n"}, 1, 4},
    };
    for (const auto& c : cases) {
        openAt(9);
        answer("at*apver\r\n", c.bursts);
        ApVersionInfo info;
        EXPECT_EQ(CheckApVersion(info), c.result) << c.name;
        EXPECT_EQ(count("read 40"), c.reads) << c.name;
        EXPECT_EQ(count("write at*apver\r\n"), 1) << c.name;
    }
}

} // namespace
