// Reading settings against the simulated modem on a virtual line.
#include "Configstruct.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using enginetest::settingsAt;
using enginetest::VirtualLink;
using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

// A modem with something in every group of its settings.
q86sim::Settings busySettings(uint32_t baud) {
    q86sim::Settings s = settingsAt(baud);
    s.values[0] = "Field unit 7";
    s.values[2] = "Yes";
    s.values[3] = "4321";
    s.values[13] = "Yes";
    s.values[14] = "Yes";
    s.values[16] = "+886912345678";
    s.values[36] = "Yes";
    s.values[37] = "at+cmee=1";
    s.values[42] = "ats7=60";
    s.s0 = 3;
    s.dtrDrop = 1;
    s.cbst = "71,0,1";
    s.ifcDce = s.ifcDte = 0;
    return s;
}

// What the reader must apply for a modem holding s: the report's values at their lengths; the two
// keys whose text repeats take their first occurrence.
ConfigRecord expectedRecord(const q86sim::Settings& s) {
    ConfigRecord r;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const int from = (k == 30 || k == 31) ? k - 4 : k;
        r.at(k) = s.reportValue(from).substr(0, ConfigKeyTable[k].MaxLength);
    }
    return r;
}

size_t reportSize(const q86sim::Settings& s) {
    size_t n = 2;
    for (int k = 0; k < kConfigKeyCount; ++k)
        n += std::string(ConfigKeyTable[k].KeyText).size() + 1 + s.reportValue(k).size() + 2;
    return n + 6;
}

class SimRead : public VirtualLink {
protected:
    int readAt(int baudIndex, q86sim::Scenario s) {
        startModem(std::move(s));
        LinkSettings l = linkAt(baudIndex);
        l.OpRead = true;
        EXPECT_EQ(open(l), 1);
        EXPECT_EQ(ProbeAt(), 2); // echo on
        return ReadModemReport();
    }
};

struct Rate {
    int baudIndex;
    uint32_t baud;
};

class SimReadAt : public SimRead, public testing::WithParamInterface<Rate> {};

TEST_P(SimReadAt, ReportAndProfile) {
    const Rate& c = GetParam();
    ui.view->configSerial = false; // as the window shows a report that leaves the serial port alone
    q86sim::Scenario s;
    s.initialSettings = busySettings(c.baud);
    ASSERT_EQ(readAt(c.baudIndex, s), 1);
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0], expectedRecord(*s.initialSettings));
    EXPECT_EQ(ui.view->progress, 30);
    EXPECT_THAT(ui.view->log(), testing::IsSupersetOf({"autoanswer on 003", "bearer 71", "dtr 1",
                                                       "main data 8", "main stop 1", "main flow None"}));
    EXPECT_EQ(ui.view->logOf("main baud"),
              std::vector<std::string>{"main baud " + std::to_string(c.baudIndex)})
        << "the report does not configure the serial port";
}

INSTANTIATE_TEST_SUITE_P(SimRead, SimReadAt, testing::Values(Rate{9, 115200}, Rate{6, 19200}, Rate{5, 9600}),
                         [](const testing::TestParamInfo<Rate>& info) {
                             return "Baud" + std::to_string(info.param.baud);
                         });

TEST_F(SimRead, ValueEndingInOkAndFinalOkSplitOverReads) {
    q86sim::Settings st = busySettings(115200);
    st.values[0] = "BOOK";
    st.values[41] = "at+xOK";
    q86sim::Scenario s;
    s.initialSettings = st;
    // The final OK: its O ends one read and its K starts the next.
    s.splits.push_back({"at*report", reportSize(st) - 3, 60});
    ASSERT_EQ(readAt(9, s), 1);
    ASSERT_EQ(ui.applied.size(), 1u);
    EXPECT_EQ(ui.applied[0], expectedRecord(st));
    EXPECT_EQ(ui.applied[0].at(0), "BOOK");
}

struct Refusal {
    const char* name;
    const char* text;
};

class SimReadRefused : public SimRead, public testing::WithParamInterface<Refusal> {};

TEST_P(SimReadRefused, AppliesNothing) {
    q86sim::Scenario s;
    s.reportRefusal = GetParam().text;
    EXPECT_EQ(readAt(9, s), -1);
    EXPECT_TRUE(ui.applied.empty());
    EXPECT_EQ(ui.view->progress, 0);
}

INSTANTIATE_TEST_SUITE_P(SimRead, SimReadRefused,
                         testing::Values(Refusal{"SmsText", "\r\nEnter SMS text:\r\n"},
                                         Refusal{"Mode", "\r\nMode...\r\n"}),
                         [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(SimRead, EscapeFromOnLineAndInCommandMode) {
    q86sim::Scenario online;
    online.connection = q86sim::Connection::DataCall;
    online.guardMs = 300;
    startModem(online);
    ASSERT_EQ(open(linkAt(9)), 1);
    EXPECT_EQ(EscapeToCommandMode(), 1);
    EXPECT_EQ(EscapeToCommandMode(), 2); // now in command mode with echo on: the pluses come back
}

} // namespace
