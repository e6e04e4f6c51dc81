// The configuration writer on a scripted port: its command lines, the prompt walk, prompts that
// arrive split, late or right after a long answer, refused commands and a silent modem.
#include "Configstruct.h"
#include "recording_view.h"
#include "Rs232_setup.h"
#include "scripted_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using enginetest::PortScript;
using enginetest::ScriptedPortInstall;
using enginetest::ViewInstall;
using testing::ElementsAre;

namespace {

// A modem whose dialogue shows the prompts of `walk` in turn, one per answer, each as the bursts
// that place() makes of it.
struct DialogueModem {
    explicit DialogueModem(std::vector<int> w, std::set<std::string> r = {}, int times = 1000)
        : walk(std::move(w)), refuse(std::move(r)), refuseTimes(times) {}
    std::vector<int> walk;
    std::set<std::string> refuse; // command lines answered ERROR
    int refuseTimes;              // how often each of them is refused
    bool silentDialogue = false;
    std::function<std::vector<std::string>(size_t step, const std::string& prompt)> place;

    std::vector<std::string> answers;
    size_t step = 0;
    bool inDialogue = false;
    std::map<std::string, int> refused;

    void prompt(PortScript& s, const std::string& before) {
        if (step >= walk.size()) {
            s.reply(before + "\r\nOK\r\n");
            inDialogue = false;
            return;
        }
        const std::string p = "\r\n" + std::string(ConfigKeyTable[walk[step]].KeyText) + ": ";
        std::vector<std::string> bursts = place ? place(step, p) : std::vector<std::string>{p};
        bursts.front().insert(0, before);
        for (const std::string& b : bursts)
            s.reply(b);
    }
    void onWrite(PortScript& s, std::string_view bytes) {
        const std::string b(bytes);
        if (inDialogue) {
            answers.push_back(b);
            ++step;
            prompt(s, b); // echo, then the next prompt
            return;
        }
        if (b == "at*config\r\n") {
            inDialogue = true;
            if (!silentDialogue)
                prompt(s, "at*config\r\r\n");
            return;
        }
        if (refuse.count(b) && refused[b]++ < refuseTimes) {
            s.reply(b + "\r\r\nERROR\r\n");
            return;
        }
        s.reply(b + "\r\r\nOK\r\n");
    }
};

// A record as the main settings window gives it, with every yes/no question answered "No".
ConfigRecord allNoRecord() {
    ConfigRecord r;
    for (int k = 0; k < kConfigKeyCount; ++k)
        r.at(k) = "\r\n";
    r.at(0) = "Office\r\n";
    r.at(1) = "5\r\n";
    for (int k : {2, 4, 6, 12, 13, 22, 25, 28, 32, 36})
        r.at(k) = "No\r\n";
    r.at(43) = "ats0=3\r\n";
    r.at(44) = "at&d1\r\n";
    r.at(45) = "at+cbst=71\r\n";
    r.at(46) = "";
    return r;
}

const std::vector<int> kAllNoWalk = {0, 1, 2, 6, 13, 22, 25, 28, 32, 36};

class Writer : public testing::Test {
protected:
    void SetUp() override {
        LinkSettings l; // 115200, as the apply operation runs the dialogue
        SetLinkSettings(l);
        ASSERT_EQ(OpenComPort(), 1);
        script->log.clear();
        script->writes.clear();
        script->onWrite = [this](PortScript& s, std::string_view b) { modem.onWrite(s, b); };
        ConfigLines = allNoRecord();
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
    }
    std::vector<std::string> answersExpected(const std::vector<int>& walk) {
        std::vector<std::string> out;
        for (int k : walk)
            out.push_back(ConfigLines.at(k));
        return out;
    }
    // The log entries after the dialogue was started.
    std::vector<std::string> logAfterConfig() {
        auto it = std::find(script->log.begin(), script->log.end(), "write at*config\r\n");
        return {it, script->log.end()};
    }

    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    ScriptedPortInstall install{script};
    ViewInstall ui;
    DialogueModem modem{kAllNoWalk};
};

TEST_F(Writer, SendsTheCommandLinesThenAnswersEveryPromptOfTheWalk) {
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 1);
    const std::vector<std::string> before(script->writes.begin(), script->writes.begin() + 7);
    EXPECT_THAT(before, ElementsAre("at+wind=0\r\n", "ats0=3\r\n", "at&d1\r\n", "at+cbst=71\r\n",
                                    "at+cicb=0\r\n", "at&w\r\n", "at*config\r\n"));
    EXPECT_EQ(modem.answers, answersExpected(kAllNoWalk));
    EXPECT_EQ(ui.view->progress, 46); // 3 command lines, then key 43 + 3
    EXPECT_THAT(ui.view->logOf("status"), ElementsAre("status ", "status Loading..."));
    EXPECT_THAT(std::vector<int>(script->clock->sleeps.begin(), script->clock->sleeps.begin() + 2),
                ElementsAre(1000, 1000));
}

TEST_F(Writer, YesAnswersFollowTheirGroups) {
    ConfigLines.at(2) = "Yes\r\n";
    ConfigLines.at(3) = "1234\r\n";
    ConfigLines.at(13) = "Yes\r\n";
    ConfigLines.at(14) = "Yes\r\n";
    ConfigLines.at(15) = "0\r\n";
    ConfigLines.at(16) = "+123\r\n";
    ConfigLines.at(18) = "No\r\n";
    ConfigLines.at(36) = "Yes\r\n";
    modem.walk = {0, 1, 2, 3, 4, 6, 13, 14, 15, 16, 17, 18, 22, 25, 28, 32, 36, 37, 38, 39, 40, 41, 42};
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 1);
    EXPECT_EQ(modem.answers, answersExpected(modem.walk));
}

TEST_F(Writer, RefusedCommandLines) {
    const struct {
        const char* line;
        int times;
        int result;
        int sent;
    } cases[] = {
        {"ats0=3\r\n", 1, 1, 2},
        {"ats0=3\r\n", 2, 0, 2},
        {"at&d1\r\n", 2, 0, 2},
        {"at+cbst=71\r\n", 5, 0, 2},
    };
    for (const auto& c : cases) {
        SetUp();
        modem = DialogueModem{kAllNoWalk, {c.line}, c.times};
        EXPECT_EQ(WriteConfigToModem(ConfigLines), c.result) << c.line << c.times;
        EXPECT_EQ(std::count(script->writes.begin(), script->writes.end(), c.line), c.sent) << c.line;
        const bool configStarted =
            std::count(script->writes.begin(), script->writes.end(), "at*config\r\n") == 1;
        EXPECT_EQ(configStarted, c.result == 1) << c.line << c.times;
    }
}

TEST_F(Writer, PromptsArrivingLateSplitOrBehindLongText) {
    const struct {
        const char* name;
        std::function<std::vector<std::string>(size_t, const std::string&)> place;
    } cases[] = {
        {"split within a pass",
         [](size_t, const std::string& p) {
             return std::vector<std::string>{p.substr(0, 8), p.substr(8)};
         }},
        // The second half arrives only after a read has waited in vain, in the next pass.
        {"split over passes",
         [](size_t, const std::string& p) {
             return std::vector<std::string>{p.substr(0, 9), "", "", p.substr(9)};
         }},
        {"behind 95 bytes of text",
         [](size_t, const std::string& p) { return std::vector<std::string>{std::string(95, '-') + p}; }},
        {"behind a 190-byte preamble",
         [](size_t, const std::string& p) { return std::vector<std::string>{std::string(190, '.') + p}; }},
    };
    for (const auto& c : cases) {
        SetUp();
        modem = DialogueModem{kAllNoWalk};
        modem.place = c.place;
        EXPECT_EQ(WriteConfigToModem(ConfigLines), 1) << c.name;
        EXPECT_EQ(modem.answers, answersExpected(kAllNoWalk)) << c.name;
    }
}

TEST_F(Writer, PromptRightAfterALongAnswerIsNotPurgedAway) {
    ConfigLines.at(36) = "Yes\r\n";
    ConfigLines.at(37) = std::string(39, 'i') + "\r\n"; // 41 bytes, echoed back with the next prompt at once
    modem.walk = {0, 1, 2, 6, 13, 22, 25, 28, 32, 36, 37, 38, 39, 40, 41, 42};
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 1);
    EXPECT_EQ(modem.answers, answersExpected(modem.walk));
    const auto after = logAfterConfig();
    EXPECT_EQ(std::count(after.begin(), after.end(), "purge"), 0);
}

TEST_F(Writer, ModemThatNeverPromptsFailsAfterFivePasses) {
    modem.silentDialogue = true;
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 0);
    const auto after = logAfterConfig();
    EXPECT_EQ(std::count(after.begin(), after.end(), "read 50"), 10); // two reads per silent pass
    EXPECT_TRUE(modem.answers.empty());
}

TEST_F(Writer, WrongPromptIsNotAnswered) {
    modem.place = [](size_t step, const std::string& p) {
        return std::vector<std::string>{step == 3 ? std::string("\r\nReserved Option: ") : p};
    };
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 0);
    EXPECT_EQ(modem.answers, answersExpected({0, 1, 2}));
}

} // namespace
