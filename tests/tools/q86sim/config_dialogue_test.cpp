// The "at*config" question-and-answer dialogue: prompts, skips, stored answers.

#include "modem_bench.h"

#include <gtest/gtest.h>

namespace q86sim::test {
namespace {

std::string promptOf(int key) {
    return "\r\n" + std::string(kConfigKeys[static_cast<std::size_t>(key)].text) + ": ";
}

// Answers the prompts in order and returns the keys that were asked.
std::vector<int> walk(Bench& b, const std::vector<std::string>& answers, std::string* transcript = nullptr) {
    std::string all = b.cmd("at*config", 200);
    for (const std::string& a : answers) {
        all += b.cmd(a, 200);
    }
    if (transcript) {
        *transcript = all;
    }
    std::vector<int> keys;
    for (const AnswerRecord& r : b.modem.answerLog()) {
        keys.push_back(r.key);
    }
    return keys;
}

TEST(ConfigDialogue, NoAnswersSkipEveryGroup) {
    Bench b(quiet());
    std::string transcript;
    const auto keys = walk(b, {"Office", "5", "No", "No", "No", "No", "No", "No", "No", "No"}, &transcript);
    EXPECT_EQ(keys, (std::vector<int>{0, 1, 2, 6, 13, 22, 25, 28, 32, 36}));
    for (int k : keys) {
        EXPECT_NE(transcript.find(promptOf(k)), std::string::npos) << k;
    }
    EXPECT_EQ(transcript.substr(transcript.size() - 6), "\r\nOK\r\n");
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
    EXPECT_EQ(b.modem.stored().values[kDeviceAlias], "Office");
    EXPECT_EQ(b.cmd("at"), "\r\nOK\r\n");
}

TEST(ConfigDialogue, YesAnswersWalkEachGroupAndSerialValuesApplyAtRestart) {
    Bench b(quiet());
    const std::vector<std::string> answers = {
        "Unit 7", "2",                                              // 0, 1
        "Yes",    "1234",      "No",                                // 2, 3, 4 -> 6
        "Yes",    "6",         "1",  "0",        "4", "0",  "No",   // 6..12: 9600 8N1, no flow, echo off
        "Yes",    "Yes",       "0",  "+4912345", "",  "No",         // 13..18 -> 22
        "No",     "No",        "No", "No",                          // 22, 25, 28, 32 -> 36
        "Yes",    "at+cmee=1", "",   "",         "",  "",   "atx4", // 36..42 -> end
    };
    const auto keys = walk(b, answers);
    EXPECT_EQ(keys, (std::vector<int>{0,  1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                      16, 17, 18, 22, 25, 28, 32, 36, 37, 38, 39, 40, 41, 42}));
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
    EXPECT_EQ(b.line.baud, 115200u); // not before the restart
    b.cmd("at+cfun=1", 1000);
    EXPECT_EQ(b.line, (LineSetting{9600, 8, ParityNone, 1}));
    EXPECT_FALSE(b.modem.active().echo);
    EXPECT_EQ(b.modem.active().ifcDce, 0);
    // The tunnel answered Yes is up after the restart: escape from it first.
    EXPECT_TRUE(b.dcd);
    b.run(1100);
    EXPECT_EQ(b.send("+++", 1100), "\r\nOK\r\n");
    const std::string report = b.cmd("at*report");
    for (const char* line :
         {"\r\nDevice Alias=Unit 7\r\n", "\r\nUse PIN=Yes\r\n", "\r\nPIN Code=1234\r\n", "\r\nBaudrate=6\r\n",
          "\r\nValid Sender1=+4912345\r\n", "\r\nInit Command1=at+cmee=1\r\n",
          "\r\nExtra Init String1=atx4\r\n", "\r\nEcho Input=No\r\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
}

TEST(ConfigDialogue, EmptyAnswerToAQuestionSkipsLikeNo) {
    Bench b(quiet());
    EXPECT_EQ(walk(b, {"", "", "", "", "", "", "", "", "", ""}),
              (std::vector<int>{0, 1, 2, 6, 13, 22, 25, 28, 32, 36}));
}

TEST(ConfigDialogue, AnswersAreEchoedAndCutToTheirLength) {
    Bench b;
    std::string transcript;
    walk(b, {"A very long device alias indeed"}, &transcript);
    EXPECT_NE(transcript.find("A very long device alias indeed\r\n"), std::string::npos);
    EXPECT_EQ(b.modem.stored().values[kDeviceAlias], "A very long devi");
}

TEST(ConfigDialogue, StoppedOrWrongPrompts) {
    Scenario stop = quiet();
    stop.configStopAtKey = 6;
    Bench s(stop);
    std::string transcript;
    walk(s, {"", "", "No"}, &transcript);
    EXPECT_EQ(transcript.find(promptOf(6)), std::string::npos);
    EXPECT_EQ(s.modem.mode(), Modem::Mode::Config);
    s.run(stop.configTimeoutMs + 100);
    EXPECT_EQ(s.modem.mode(), Modem::Mode::Command);

    Scenario wrong = quiet();
    wrong.configWrongPromptAtKey = 1;
    Bench w(wrong);
    walk(w, {"x"}, &transcript);
    EXPECT_NE(transcript.find("Reserved Option"), std::string::npos);
    EXPECT_EQ(transcript.find(promptOf(1)), std::string::npos);
}

TEST(ConfigDialogue, PromptsWaitTheirDelay) {
    Scenario s = quiet();
    s.promptDelayMs = 250;
    Bench b(s);
    b.actions.clear();
    b.cmd("at*config");
    ASSERT_EQ(b.actions.size(), 2u);
    EXPECT_EQ(b.actions[0].kind, Action::Kind::Pause);
    EXPECT_EQ(b.actions[0].pauseMs, 250);
    EXPECT_EQ(b.actions[1].bytes, promptOf(0));
}

} // namespace
} // namespace q86sim::test
