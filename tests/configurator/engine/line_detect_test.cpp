// The line-settings scan on a scripted port and virtual clock: the order of the tries, what the
// boxes show, the modem's framing answer, time-outs, cancel, and the worker that runs the scan.
#include "Autodetectthread.h"
#include "recording_view.h"
#include "Rs232_setup.h"
#include "scripted_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

using enginetest::PortScript;
using enginetest::RecordingView;
using enginetest::ScriptedPortInstall;
using enginetest::ViewInstall;
using testing::ElementsAre;

namespace {

struct Line {
    uint32_t baud;
    uint8_t dataBits;
    uint8_t parity;
    uint8_t stopBits; // comm::OneStopBit or comm::TwoStopBits
};

// The "+ICF:" pair a modem at this line reports.
std::string icfOf(const Line& l) {
    const bool parity = l.parity != comm::NoParity;
    int format = l.dataBits == 8 ? (l.stopBits == comm::TwoStopBits ? 1
                                    : parity                        ? 2
                                                                    : 3)
                                 : (l.stopBits == comm::TwoStopBits ? 4
                                    : parity                        ? 5
                                                                    : 6);
    static const int digit[] = {4, 0, 1, 2, 3};
    return "\r\n+ICF: " + std::to_string(format) + "," + std::to_string(digit[l.parity]) + "\r\n\r\nOK\r\n";
}

class Scan : public testing::Test {
protected:
    void SetUp() override {
        LinkSettings l;
        l.AutoDetect = true;
        SetLinkSettings(l);
        ASSERT_EQ(OpenComPort(), 1);
        script->log.clear();
        script->writes.clear();
        script->onWrite = [this](PortScript& s, std::string_view b) { modemWrite(s, b); };
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
    }
    bool matches() const {
        const comm::Dcb& d = script->dcb;
        return present && tries >= presentFromTry && d.BaudRate == modem.baud &&
               d.ByteSize == modem.dataBits && d.Parity == modem.parity && d.StopBits == modem.stopBits;
    }
    void modemWrite(PortScript& s, std::string_view bytes) {
        if (bytes == "at\r\n") {
            ++tries;
            timeoutsAtTry.push_back(s.timeouts.ReadTotalTimeoutConstant);
            intervalAtTry.push_back(s.timeouts.ReadIntervalTimeout);
            if (onTry)
                onTry(tries);
            if (matches())
                s.reply("at\r\r\nOK\r\n");
        } else if (bytes == "at+icf?\r\n" && matches()) {
            icfTimeouts = s.timeouts;
            for (const std::string& b : icfReply.empty() ? std::vector<std::string>{icfOf(modem)} : icfReply)
                s.reply(b);
        }
    }
    long tryCount() const { return std::count(script->writes.begin(), script->writes.end(), "at\r\n"); }

    std::shared_ptr<PortScript> script = std::make_shared<PortScript>();
    ScriptedPortInstall install{script};
    ViewInstall ui;
    Line modem{115200, 8, comm::NoParity, comm::OneStopBit};
    bool present = true;
    int presentFromTry = 0;            // a modem that starts answering late
    std::vector<std::string> icfReply; // empty: the pair of the modem's line, then OK
    std::function<void(int)> onTry;
    int tries = 0;
    std::vector<uint32_t> timeoutsAtTry;
    std::vector<uint32_t> intervalAtTry;
    comm::CommTimeouts icfTimeouts{};
    std::atomic<bool> cancel{false};
};

struct Setting {
    const char* name;
    Line line;
    int tryNumber;
    RecordingView::Boxes boxes;
};

class ScanFinds : public Scan, public testing::WithParamInterface<Setting> {};

TEST_P(ScanFinds, TheSettingOnItsTryAndShowsIt) {
    const Setting& c = GetParam();
    modem = c.line;
    EXPECT_EQ(AutoDetectBaud(cancel), 1);
    EXPECT_EQ(tryCount(), c.tryNumber);
    EXPECT_EQ(ui.view->boxes, c.boxes);
    EXPECT_EQ(script->dcb.fDtrControl, comm::LineEnable);
    EXPECT_EQ(script->dcb.fRtsControl, comm::LineEnable);
}

INSTANTIATE_TEST_SUITE_P(
    Scan, ScanFinds,
    testing::Values(
        Setting{
            "At115200EightNoneOne", {115200, 8, comm::NoParity, comm::OneStopBit}, 1, {9, "8", "1", "None"}},
        Setting{"At115200SevenEvenOne",
                {115200, 7, comm::EvenParity, comm::OneStopBit},
                9,
                {9, "7", "1", "Even"}},
        Setting{
            "At57600EightOddOne", {57600, 8, comm::OddParity, comm::OneStopBit}, 14, {8, "8", "1", "Odd"}},
        Setting{
            "At19200EightNoneTwo", {19200, 8, comm::NoParity, comm::TwoStopBits}, 42, {6, "8", "2", "None"}},
        Setting{
            "At9600SevenEvenOne", {9600, 7, comm::EvenParity, comm::OneStopBit}, 57, {5, "7", "1", "Even"}},
        Setting{"At2400SevenSpaceOne",
                {2400, 7, comm::SpaceParity, comm::OneStopBit},
                83,
                {3, "7", "1", "Space"}},
        Setting{
            "At600EightMarkOne", {600, 8, comm::MarkParity, comm::OneStopBit}, 100, {1, "8", "1", "Mark"}},
        Setting{
            "At300SevenNoneTwo", {300, 7, comm::NoParity, comm::TwoStopBits}, 120, {0, "7", "2", "None"}}),
    [](const testing::TestParamInfo<Setting>& info) { return info.param.name; });

TEST_F(Scan, FramingAnswers) {
    const struct {
        const char* name;
        std::vector<std::string> reply;
        int icfResult;
        RecordingView::Boxes boxes;
    } cases[] = {
        {"8N1", {"\r\n+ICF: 3,4\r\n\r\nOK\r\n"}, 1, {9, "8", "1", "None"}},
        {"7E1", {"\r\n+ICF: 5,1\r\n\r\nOK\r\n"}, 1, {9, "7", "1", "Even"}},
        {"8N2", {"\r\n+ICF: 1,4\r\n\r\nOK\r\n"}, 1, {9, "8", "2", "None"}},
        {"8M1", {"\r\n+ICF: 2,2\r\n\r\nOK\r\n"}, 1, {9, "8", "1", "Mark"}},
        {"no parity bit, odd digit", {"\r\n+ICF: 3,0\r\n\r\nOK\r\n"}, 1, {9, "8", "1", "None"}},
        {"7N1 with space digit", {"\r\n+ICF: 6,3\r\n\r\nOK\r\n"}, 1, {9, "7", "1", "None"}},
        {"pair and OK in two reads", {"\r\n+ICF: 5,1\r\n", "\r\nOK\r\n"}, 1, {9, "7", "1", "Even"}},
        {"pair cut inside", {"\r\n+ICF: 5", ",0\r\n\r\nOK\r\n"}, 1, {9, "7", "1", "Odd"}},
        {"no parity digit", {"\r\n+ICF: 6\r\n\r\nOK\r\n"}, 0, {9, "7", "1", "None"}},
        {"OK only", {"\r\nOK\r\n"}, 0, {9, "8", "1", "None"}},
        {"no answer", {""}, 0, {9, "8", "1", "None"}},
        {"error", {"\r\nERROR\r\n"}, 0, {9, "8", "1", "None"}},
    };
    for (const auto& c : cases) {
        SetUp();
        icfReply = c.reply;
        ui.view->boxes = {};
        EXPECT_EQ(AutoDetectBaud(cancel), 1) << c.name;
        EXPECT_EQ(ui.view->boxes, c.boxes) << c.name;
        EXPECT_EQ(ReadIcfSetting(115200), c.icfResult) << c.name;
    }
}

// A port that takes no mark or space parity.
class NoMarkSpacePort : public enginetest::ScriptedPort {
public:
    using ScriptedPort::ScriptedPort;
    bool setState(const comm::Dcb& dcb) override {
        if (dcb.Parity == comm::MarkParity || dcb.Parity == comm::SpaceParity)
            return false;
        return ScriptedPort::setState(dcb);
    }
};

TEST_F(Scan, FramingThePortRefusesIsNotTried) {
    CloseComPort();
    comm::setPortOpener([this](const std::string&) { return std::make_unique<NoMarkSpacePort>(script); });
    ASSERT_EQ(OpenComPort(), 1);
    // A modem at 8E1 that comes up just after its own try: the port, left at 8E1 by the refused
    // mark try, must not make its answer pass for mark parity.
    modem = {115200, 8, comm::EvenParity, comm::OneStopBit};
    presentFromTry = 4;
    script->writes.clear();
    EXPECT_EQ(AutoDetectBaud(cancel), 0);
    EXPECT_EQ(ui.view->boxes, RecordingView::Boxes{});
    presentFromTry = 0;
    modem = {57600, 8, comm::NoParity, comm::OneStopBit};
    script->writes.clear();
    EXPECT_EQ(AutoDetectBaud(cancel), 1);
    EXPECT_EQ(tryCount(), 12 - 4 + 1); // each 115200 group without its mark and space tries, then 8N1
    EXPECT_EQ(ui.view->boxes, (RecordingView::Boxes{8, "8", "1", "None"}));
}

TEST_F(Scan, TimeoutsPerRate) {
    modem = {300, 8, comm::NoParity, comm::OneStopBit};
    EXPECT_EQ(AutoDetectBaud(cancel), 1);
    ASSERT_EQ(timeoutsAtTry.size(), 109u);
    // 96 tries from 115200 to 1200 baud with a 70 ms constant, then 300 ms at 600 and 300 baud.
    EXPECT_EQ(std::count(timeoutsAtTry.begin(), timeoutsAtTry.begin() + 96, 70u), 96);
    EXPECT_EQ(std::count(timeoutsAtTry.begin() + 96, timeoutsAtTry.end(), 300u), 13);
    EXPECT_EQ(icfTimeouts.ReadTotalTimeoutMultiplier, 20u);
    EXPECT_EQ(icfTimeouts.ReadTotalTimeoutConstant, 400u);
    // Room for two characters between bytes at 300 baud, where one takes about 37 ms.
    EXPECT_EQ(icfTimeouts.ReadIntervalTimeout, 74u);
    EXPECT_THAT(intervalAtTry, testing::Each(testing::Ge(20u)));
    EXPECT_EQ(intervalAtTry[95], 20u);  // 1200 baud
    EXPECT_EQ(intervalAtTry[96], 37u);  // 600 baud
    EXPECT_EQ(intervalAtTry[108], 74u); // 300 baud
}

TEST_F(Scan, NoModemTriesAllAndWaitsOutEveryRead) {
    present = false;
    const int64_t start = script->clock->now;
    EXPECT_EQ(AutoDetectBaud(cancel), 0);
    EXPECT_EQ(tryCount(), 120);
    // Two silent 20-byte reads per try: 270 ms each down to 1200 baud, 500 ms at 600 and 300.
    EXPECT_EQ(script->clock->now - start, 96 * 2 * 270 + 24 * 2 * 500);
    const auto labels = ui.view->logOf("label");
    ASSERT_EQ(labels.size(), 40u);
    EXPECT_EQ(labels[0], "label Detecting....");
    EXPECT_EQ(labels[1], "label Detecting.......");
    EXPECT_EQ(ui.view->log().front(), "show");
    EXPECT_EQ(ui.view->boxes, RecordingView::Boxes{}); // nothing answered, nothing selected
}

TEST_F(Scan, CancelStopsBeforeTheNextTry) {
    for (int at : {0, 1, 12, 56, 119}) {
        SetUp();
        tries = 0;
        cancel = at == 0;
        modem = {300, 7, comm::NoParity, comm::TwoStopBits}; // would answer on the last try
        onTry = [this, at](int n) {
            if (n == at)
                cancel = true;
        };
        ui.view->boxes = {};
        EXPECT_EQ(AutoDetectBaud(cancel), 0) << at;
        EXPECT_EQ(tryCount(), at);
        EXPECT_EQ(ui.view->boxes, RecordingView::Boxes{}) << at;
    }
}

TEST_F(Scan, WorkerWithoutAutomaticDetectionTouchesNothing) {
    LinkSettings l = GetLinkSettings();
    l.AutoDetect = false;
    SetLinkSettings(l);
    AutoDetectThread worker;
    worker.start();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_EQ(worker.result(), 0);
    EXPECT_TRUE(ui.view->log().empty());
    EXPECT_TRUE(script->writes.empty());
}

TEST_F(Scan, WorkerFindsTheModemAndEndsTheModalLoop) {
    modem = {9600, 7, comm::EvenParity, comm::OneStopBit};
    AutoDetectThread worker;
    worker.start();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_EQ(worker.result(), 1);
    EXPECT_EQ(ui.view->logOf("end").size(), 1u);
    EXPECT_EQ(ui.view->log().back(), "end");
    EXPECT_EQ(ui.view->boxes, (RecordingView::Boxes{5, "7", "1", "Even"}));
}

TEST_F(Scan, WorkerCancelledFromAnotherThreadReportsZero) {
    std::promise<void> reached;
    std::promise<void> cancelled;
    auto resume = cancelled.get_future().share();
    modem = {300, 7, comm::NoParity, comm::TwoStopBits};
    onTry = [&](int n) {
        if (n == 5) {
            reached.set_value();
            resume.wait();
        }
    };
    AutoDetectThread worker;
    worker.start();
    reached.get_future().wait();
    worker.cancel();
    cancelled.set_value();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_EQ(worker.result(), 0);
    EXPECT_EQ(tries, 5);
    EXPECT_EQ(ui.view->log().back(), "end"); // the modal loop ends also after a cancel
}

} // namespace
