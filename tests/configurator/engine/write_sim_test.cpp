// Writing settings against the simulated modem on a virtual line.
#include "Configstruct.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using enginetest::VirtualLink;
using testing::ElementsAreArray;

namespace {

// A record as the main settings window gives it for the modem: values with CR LF, rings, DTR and
// bearer as commands.
ConfigRecord windowRecord() {
    ConfigRecord r;
    for (int k = 0; k < kConfigKeyCount; ++k)
        r.at(k) = "\r\n";
    const std::map<int, std::string> values = {
        {0, "Gate 4"},
        {1, "3"},
        {2, "Yes"},
        {3, "1234"},
        {4, "No"},
        {6, "No"},
        {12, "Yes"},
        {13, "Yes"},
        {14, "Yes"},
        {15, "1"},
        {16, "+886911111111"},
        {17, "+886922222222"},
        {18, "No"},
        {19, "0"},
        {36, "Yes"},
        {37, "at+cmee=1"},
        {39, std::string(39, 'c')},
        {42, "ats7=30"},
    };
    for (const auto& [k, v] : values)
        r.at(k) = v + "\r\n";
    for (int k = 22; k <= 35; ++k)
        r.at(k) = "No\r\n";
    r.at(43) = "ats0=2\r\n";
    r.at(44) = "at&d2\r\n";
    r.at(45) = "at+cbst=7\r\n";
    r.at(46) = "";
    return r;
}

const std::vector<int> kWindowWalk = {0,  1,  2,  3,  4,  6,  13, 14, 15, 16, 17, 18,
                                      22, 25, 28, 32, 36, 37, 38, 39, 40, 41, 42};

class SimWrite : public VirtualLink {
protected:
    void checkModemHoldsTheRecord() {
        std::vector<int> keys;
        for (const auto& a : modem->answers())
            keys.push_back(a.key);
        EXPECT_THAT(keys, ElementsAreArray(kWindowWalk));
        const q86sim::Settings held = modem->stored();
        const q86sim::Settings factory = q86sim::Settings::factory();
        for (int k = 0; k <= 42; ++k) {
            const bool answered = std::find(kWindowWalk.begin(), kWindowWalk.end(), k) != kWindowWalk.end();
            const std::string line = ConfigLines.at(k);
            EXPECT_EQ(held.values[k], answered ? line.substr(0, line.size() - 2) : factory.values[k]) << k;
        }
        EXPECT_EQ(held.s0, 2);
        EXPECT_EQ(held.dtrDrop, 2);
        EXPECT_EQ(held.cbst.substr(0, 2), "7,");
    }
};

TEST_F(SimWrite, WholeWalkWithSkipsLeavesTheModemHoldingTheRecord) {
    startModem();
    ASSERT_EQ(open(linkAt(9)), 1);
    ConfigLines = windowRecord();
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 1);
    checkModemHoldsTheRecord();
    EXPECT_EQ(ui.view->progress, 46);
}

TEST_F(SimWrite, ModemPromptingAtOnceLosesNoPrompt) {
    q86sim::Scenario s;
    s.promptDelayMs = 0; // the echo of a long answer and the next prompt follow within a few ms
    startModem(s);
    ASSERT_EQ(open(linkAt(9)), 1);
    ConfigLines = windowRecord();
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 1);
    checkModemHoldsTheRecord();
}

TEST_F(SimWrite, RefusedRingsFailTheWrite) {
    q86sim::Scenario s;
    s.replyOverride["ats0=*"] = "\r\nERROR\r\n";
    startModem(s);
    ASSERT_EQ(open(linkAt(9)), 1);
    ConfigLines = windowRecord();
    EXPECT_EQ(WriteConfigToModem(ConfigLines), 0);
    const auto commands = modem->commandTexts();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "ats0=2"), 2);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "at*config"), 0);
    EXPECT_TRUE(modem->answers().empty());
}

} // namespace
